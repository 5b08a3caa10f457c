#include "localsearch/improver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "localsearch/insertion.h"
#include "localsearch/links.h"
#include "localsearch/time_insertion.h"

namespace quarn {
namespace {

// Construction and repair charge broken rules this many times harder.
constexpr double kConstructionFactor = 100.0;
constexpr double kRepairFactor = 10.0;
constexpr double kMinPenalty = 1.0;  // keeps travel a lower bound of a route's price
constexpr double kMaxPenalty = 1e6;
// Before a first plan, a walk stalled with a weight this many times its start
// is frozen (see EaseIfFrozen).
constexpr double kFrozenWeight = 10.0;
// What no candidate has broken yet: any candidate breaks less.
constexpr std::pair<int32_t, double> kNothingBroken{std::numeric_limits<int32_t>::max(), kLsInfinity};
// Every broken rule counted by its own measure, for progress whatever the weights.
constexpr Penalties kUnweighted{1.0, 1.0, 1.0, 1.0};
constexpr double kPenaltyUp = 1.2;
constexpr double kPenaltyDown = 0.85;
constexpr double kTargetBand = 0.05;
// A walk priced under a cap switches objective this many times within the
// stall that kicks it.
constexpr uint64_t kCapTurnsPerKick = 4;

// Recreate orders (SISR): random most often, then far from the depots, then near.
void SortForRecreate(std::vector<int32_t>& nodes, const std::vector<double>& depot_distance, Rng& rng) {
  const uint32_t pick = rng.Below(7);
  for (size_t i = nodes.size(); i > 1; --i) std::swap(nodes[i - 1], nodes[rng.Below(static_cast<uint32_t>(i))]);
  if (pick < 4) return;
  const bool far_first = pick < 6;
  std::stable_sort(nodes.begin(), nodes.end(), [&](int32_t a, int32_t b) {
    const double da = depot_distance[static_cast<size_t>(a)];
    const double db = depot_distance[static_cast<size_t>(b)];
    return far_first ? da > db : da < db;
  });
}

// Hard rules (+infinity) stay hard.
Penalties Scaled(const Penalties& p, double factor) {
  return Penalties{p.time_warp * factor, p.excess * factor, p.load * factor, p.link * factor};
}

// One weight moved toward the share of routes that keep its rule.
double Adapted(double weight, double share, double target) {
  if (share < target - kTargetBand) weight *= kPenaltyUp;
  if (share > target + kTargetBand) weight *= kPenaltyDown;
  return std::clamp(weight, kMinPenalty, kMaxPenalty);
}

}  // namespace

Improver::Improver(const LocalModel& model, const ImproveSettings& settings)
    : model_(model), settings_(settings), best_(model), current_(model), candidate_(model), rival_(model) {
  objective_.min_max = settings.min_max;
  objective_.alpha = settings.alpha;
}

void Improver::Prepare(const StopCheck& stop) {
  has_best_ = false;
  walk_best_ = {kLsInfinity, kLsInfinity};
  walk_better_at_ = 0;
  iterations_ = 0;
  rng_ = Rng(settings_.seed);
  // The lists take a while on a large instance: Ctrl-C and the limit are asked there too.
  neighbours_ = std::make_unique<Neighbours>(model_, settings_.neighbours, &stop);
  local_ = std::make_unique<LocalSearch>(*neighbours_, LocalSearch::AllOperators(), settings_.neighbour_limited);
  lists_by_time_due_ = settings_.lists_by_time && model_.has_windows();
  depot_distance_.assign(static_cast<size_t>(model_.num_nodes()), kLsInfinity);
  for (int32_t v : model_.customers()) {
    for (int32_t a = 0; a < model_.num_agents(); ++a) {
      depot_distance_[static_cast<size_t>(v)] =
          std::min(depot_distance_[static_cast<size_t>(v)], model_.TypeArc(model_.type(a), model_.start(a), v));
    }
  }
  has_limits_ = false;
  for (int32_t a = 0; a < model_.num_agents(); ++a) has_limits_ = has_limits_ || model_.limit(a) > 0.0;
  penalties_ = InitialPenalties();
  least_broken_ = kNothingBroken;
  least_broken_at_ = 0;
  candidates_seen_ = candidates_without_warp_ = candidates_without_excess_ = candidates_without_load_ = 0;
  candidates_without_link_ = 0;
  // Under windows min-max is walked as min-sum until a first plan keeps every
  // rule, its construction included: balancing the routes fights the repair,
  // where short routes leave room for the targets still breaking a window.
  // With pairs the walk so led misses small optima, and stays as it was.
  objective_.min_max = settings_.min_max && !(model_.has_windows() && !model_.has_links());
  objective_.cap = 0.0;
  objective_.cap_weight = settings_.balance_cap_weight;
  cap_off_ = false;
  cap_switched_at_ = 0;
  const int32_t agents = model_.num_agents();
  const int64_t targets = static_cast<int64_t>(model_.customers().size());
  steep_ = agents >= settings_.balance_steep_agents;
  objective_.steep = kLsInfinity;
  objective_.steep_weight = settings_.balance_steep_weight;
  capped_ = settings_.min_max && agents > 0 && agents <= settings_.balance_cap_agents &&
            targets >= static_cast<int64_t>(settings_.balance_cap_targets) * agents &&
            (!steep_ || targets >= static_cast<int64_t>(settings_.balance_steep_targets) * agents) &&
            !model_.has_windows() && !has_limits_ && !model_.has_capacities() && !model_.has_links() &&
            !model_.has_optional();
}

// The cap and the steep kink follow the best's longest route down.
void Improver::SetCap(const LsSolution& best) {
  if (!capped_) return;
  objective_.cap = cap_off_ ? 0.0 : best.max() * (1.0 - settings_.balance_cap_share);
  if (steep_) objective_.steep = cap_off_ ? kLsInfinity : best.max() * (1.0 + settings_.balance_steep_share);
}

Penalties Improver::InitialPenalties() const {
  Penalties p;
  const double initial = std::max(settings_.initial_penalty, kMinPenalty);
  if (settings_.soft_rules) {
    if (model_.has_windows()) p.time_warp = initial;
    if (has_limits_) p.excess = initial;
    if (model_.has_capacities()) p.load = initial;
  }
  // Pairs are always charged: a plan is only judged whole.
  if (model_.has_links()) p.link = initial;
  return p;
}

void Improver::Load(const std::vector<std::vector<int32_t>>& initial, LsSolution& s) const {
  std::vector<uint8_t> seen(static_cast<size_t>(model_.num_nodes()), 0);
  const std::vector<int32_t> none;
  for (int32_t r = 0; r < s.num_routes(); ++r) {
    const std::vector<int32_t>& given = static_cast<size_t>(r) < initial.size() ? initial[static_cast<size_t>(r)] : none;
    if (given.size() < 2) {
      // An open route whose end its agent cannot reach within the rules stays
      // at its start instead, as an idle agent may: ending there, no route
      // of that agent could keep them.
      if (!model_.return_to_end() && !s.route(r).feasible()) {
        s.SetFinalDepot(r, model_.start(r));
        if (!s.route(r).feasible()) s.SetFinalDepot(r, model_.end(r));
      }
      continue;
    }
    std::vector<int32_t>& path = s.path(r);
    path.assign(1, model_.start(r));
    for (size_t p = 1; p + 1 < given.size(); ++p) {
      const int32_t v = given[p];
      if (v < 0 || v >= model_.num_nodes() || !model_.IsCustomer(v) || seen[static_cast<size_t>(v)] != 0) continue;
      seen[static_cast<size_t>(v)] = 1;
      path.push_back(v);
    }
    // An open route may stop at its start instead of its end; keep the given choice.
    const int32_t last = given.back();
    path.push_back(!model_.return_to_end() && last == model_.start(r) ? last : model_.end(r));
    s.Refresh(r);
    if (!s.route(r).feasible()) {
      // A route this phase cannot vouch for gives its targets back for reinsertion.
      for (size_t p = 1; p + 1 < path.size(); ++p) s.MarkUnassigned(path[p]);
      path = {model_.start(r), model_.end(r)};
      s.Refresh(r);
    }
  }
  s.CollectUnassigned();
}

// Missing targets go in where they break nothing, as long as such a place
// exists; the rest then go in with broken rules charged a hundred times over,
// and the descent repairs what broke. Under windows a second first solution is
// built with the targets taken in order of their windows, and until a first
// plan keeps every rule the walk alternates between the two: neither start
// reaches a plan first on every kind of instance (the windows' order leaves far
// fewer targets out where one type serves all, the regret order keeps the
// types apart), and how much a start breaks does not tell which will. On
// instances too large for regret the windows' order alone is built: far from
// the depots first breaks several times more there, and each iteration is dear.
void Improver::Construct(LsSolution& s, const StopCheck& stop) {
  racing_ = false;
  const bool timed = !s.unassigned().empty() && model_.has_windows();
  if (timed && settings_.neighbour_limited) {
    Build(s, stop, true);
  } else if (timed) {
    rival_ = s;
    Build(s, stop, false);
    Build(rival_, stop, true);
    if (Breaks(rival_, penalties_) < Breaks(s, penalties_)) std::swap(s, rival_);
    KeepBest(rival_);
    racing_ = !has_best_;
  } else {
    Build(s, stop, false);
  }
  KeepBest(s);
}

void Improver::Build(LsSolution& s, const StopCheck& stop, bool time_ordered) {
  if (!s.unassigned().empty()) {
    s.SetPenalties(Penalties{});
    if (time_ordered) {
      // All gaps are priced up to this size: the near ones alone leave twice
      // the targets out on a thousand nodes.
      constexpr int32_t kWholeScanNodes = 2000;
      const Neighbours* near = model_.num_nodes() > kWholeScanNodes ? neighbours_.get() : nullptr;
      TimeOrderedInsertion(s, objective_, near, depot_distance_, &stop);
      KeepBest(s);
    } else if (settings_.neighbour_limited) {
      FarthestFirstInsertion(s, objective_, *neighbours_, depot_distance_, &stop);
      KeepBest(s);
    } else {
      RegretInsertion(s, objective_);
    }
    s.SetPenalties(Scaled(penalties_, kConstructionFactor));
    // On a large instance a first pass cut by the limit leaves thousands of targets,
    // each insertion a walk of its route: the limit is asked here too.
    const bool large = settings_.neighbour_limited;
    InsertInOrder(s, objective_, large ? neighbours_.get() : nullptr, std::vector<int32_t>(s.unassigned()),
                  large ? &stop : nullptr);
    InsertChains(s, objective_);
    if (settings_.local_search) local_->Run(s, objective_, rng_, {}, &stop);
  }
  s.SetPenalties(penalties_);
  if (settings_.local_search) Descend(s, {}, stop);
}

// Targets that must be served and are left out, then the broken rules priced at `weights`.
std::pair<int32_t, double> Improver::Breaks(const LsSolution& s, const Penalties& weights) const {
  double broken = 0.0;
  for (const LsRoute& route : s.routes()) {
    const RouteCharge& c = route.charge;
    if (route.targets() > 0 && !c.exists()) return {s.required_missing(), kLsInfinity};
    broken = weights.WithBreaks(broken, c);
  }
  return {s.required_missing(), broken};
}

// The descent; a result that still breaks a rule is, every other time (every
// time while no plan keeps them all), descended again from the same targets
// under ten times the weights.
void Improver::Descend(LsSolution& s, const std::vector<int32_t>& seeds, const StopCheck& stop) {
  local_->Run(s, objective_, rng_, seeds, &stop);
  if (s.feasible() || (rng_.Below(2) != 0 && has_best_)) return;
  s.SetPenalties(Scaled(penalties_, kRepairFactor));
  local_->Run(s, objective_, rng_, seeds, &stop);
  s.SetPenalties(penalties_);
}

Improver::Ruined Improver::Ruin(LsSolution& s) {
  Ruined ruined;
  // Before a first plan the fleet moves wait until the walk has stalled:
  // emptying a route lets a tight fleet's routes change wholesale, but taken
  // from the start they pour a route's targets into routes that already break
  // a rule, which costs a min-sum walk half again per iteration and slows its
  // first plan; a min-max walk (taken as min-sum until then, see Prepare) so
  // led ends worse on some classes. On instances too large for quadratic steps
  // a route holds too many targets to move at once.
  const bool stalled_before_plan = FollowsLeastBroken() && !settings_.neighbour_limited &&
                                   settings_.first_plan_fleet_stall > 0 &&
                                   iterations_ - least_broken_at_ >= settings_.first_plan_fleet_stall;
  const bool fleet_moves =
      (settings_.min_max ? !objective_.min_max && stalled_before_plan
                         : has_best_ || !FollowsLeastBroken() || stalled_before_plan) &&
      settings_.route_elimination > 0.0;
  if (fleet_moves && rng_.Unit() < settings_.route_elimination) {
    // The smaller of two random used routes is emptied.
    std::vector<int32_t> used;
    for (int32_t r = 0; r < s.num_routes(); ++r) {
      if (s.route(r).targets() > 0) used.push_back(r);
    }
    if (used.size() >= 2) {
      const int32_t a = used[rng_.Below(static_cast<uint32_t>(used.size()))];
      const int32_t b = used[rng_.Below(static_cast<uint32_t>(used.size()))];
      const int32_t r = s.route(a).targets() <= s.route(b).targets() ? a : b;
      std::vector<int32_t>& path = s.path(r);
      for (size_t p = 1; p + 1 < path.size(); ++p) s.MarkUnassigned(path[p]);
      path.erase(path.begin() + 1, path.end() - 1);
      s.Refresh(r);
      s.CollectUnassigned();
      ruined.closed = r;
      ruined.pending = s.unassigned();
      return ruined;
    }
  }
  RuinSettings ruin = settings_.ruin;
  ruin.longest_route = objective_.min_max ? settings_.longest_route_ruin : 0.0;
  RuinAdjacentStrings(s, *neighbours_, ruin, rng_);
  if (model_.has_links()) RuinPartners(s);
  ruined.pending = s.unassigned();
  if (fleet_moves && rng_.Unit() < settings_.route_elimination) {
    std::vector<int32_t> idle;
    for (int32_t r = 0; r < s.num_routes(); ++r) {
      if (s.route(r).targets() == 0) idle.push_back(r);
    }
    if (!idle.empty()) ruined.opened = idle[rng_.Below(static_cast<uint32_t>(idle.size()))];
  }
  return ruined;
}

void Improver::Recreate(LsSolution& s, const LsSolution& current, Ruined& ruined) {
  std::vector<int32_t>& pending = ruined.pending;
  SortForRecreate(pending, depot_distance_, rng_);
  // Targets that were left out go in first, while there is most room.
  if (!current.unassigned().empty()) {
    std::stable_partition(pending.begin(), pending.end(), [&](int32_t v) { return current.route_of(v) < 0; });
  }
  bool open = ruined.opened >= 0;
  // Now and then every optional target goes in where it fits, paying or not:
  // a few that pay only together are never let in one by one, and the
  // descent then drops those that do not pay.
  const bool take_all = model_.has_optional() && rng_.Below(4) == 0;
  for (int32_t v : pending) {
    if (s.route_of(v) >= 0) continue;  // went in beside its partner
    if (model_.has_links() && InsertWithPartner(s, objective_, v, ruined.closed)) continue;
    InsertionSpot spot;
    if (open && model_.Admits(ruined.opened, v)) {
      spot = CheapestInRoute(s, ruined.opened, v);
      if (spot.route >= 0) spot.delta = objective_.Delta(s, spot.route, spot.cost, -1, 0.0);
      open = false;
    }
    if (spot.route < 0) {
      spot = settings_.neighbour_limited
                 ? NearInsertion(s, objective_, *neighbours_, v, &rng_, settings_.blink, ruined.closed)
                 : CheapestInsertion(s, objective_, v, &rng_, settings_.blink, ruined.closed);
    }
    // An optional target goes in only where that costs less than leaving it out.
    if (spot.route >= 0 && (take_all || model_.InsertionPays(v, spot.delta))) InsertAt(s, v, spot);
  }
  s.CollectUnassigned();
  InsertChains(s, objective_, ruined.closed);
}

// Fewer left-out targets that must be served always win; at equal counts the
// threshold form of the annealing test, one draw per candidate.
bool Improver::Accept(const LsSolution& candidate, const LsSolution& current) {
  const int32_t missing = candidate.required_missing();
  const int32_t missing_now = current.required_missing();
  if (missing != missing_now) return missing < missing_now;
  const double threshold = objective_.Of(current) - Temperature() * std::log(rng_.Unit() + 1e-300);
  return objective_.Of(candidate) < threshold;
}

// The first plan that keeps every rule ends the walk as min-sum.
void Improver::FirstPlanSeen() { objective_.min_max = settings_.min_max; }

// Lists cut short by the stop are not taken: the walk ends there anyway.
void Improver::ListByTime(const StopCheck& stop) {
  lists_by_time_due_ = false;
  auto lists = std::make_unique<Neighbours>(model_, settings_.neighbours, &stop, true);
  if (stop.Expired()) return;
  local_->UseNeighbours(*lists);
  neighbours_ = std::move(lists);
}

void Improver::KeepBest(const LsSolution& s) {
  if (s.required_missing() > 0 || !s.feasible()) return;
  FirstPlanSeen();
  const std::pair<double, double> measures = objective_.Measures(s);
  if (objective_.Better(measures, walk_best_)) {
    // Under min-max a lower total at the same longest route only polishes the
    // partition the walk has settled on, and does not put off its kick.
    if (!objective_.min_max || objective_.Better({measures.first, 0.0}, {walk_best_.first, 0.0})) {
      walk_better_at_ = iterations_;
    }
    walk_best_ = measures;
  }
  if (has_best_ && !objective_.Better(s, best_)) return;
  best_ = s;
  has_best_ = true;
  SetCap(best_);
  if (on_best_) on_best_(best_);
}

void Improver::RecordFeasibility(const LsSolution& s) {
  bool warp = false;
  bool excess = false;
  bool load = false;
  bool link = false;
  for (const LsRoute& route : s.routes()) {
    link = link || route.charge.link > 0.0;
    warp = warp || route.charge.time_warp > 0.0;
    excess = excess || route.charge.excess > 0.0;
    load = load || route.charge.load_excess > 0.0;
  }
  ++candidates_seen_;
  if (!warp) ++candidates_without_warp_;
  if (!excess) ++candidates_without_excess_;
  if (!load) ++candidates_without_load_;
  if (!link) ++candidates_without_link_;
}

void Improver::AdaptPenalties(LsSolution& current) {
  const int32_t interval = has_best_ ? settings_.penalty_interval : settings_.first_plan_penalty_interval;
  if (!settings_.soft_rules || interval <= 0 || iterations_ % static_cast<uint64_t>(interval) != 0 ||
      candidates_seen_ == 0) {
    return;
  }
  const double seen = static_cast<double>(candidates_seen_);
  if (model_.has_windows()) {
    penalties_.time_warp = Adapted(penalties_.time_warp, candidates_without_warp_ / seen, settings_.target_feasible);
  }
  if (has_limits_) {
    penalties_.excess = Adapted(penalties_.excess, candidates_without_excess_ / seen, settings_.target_feasible);
  }
  if (model_.has_capacities()) {
    penalties_.load = Adapted(penalties_.load, candidates_without_load_ / seen, settings_.target_feasible);
  }
  if (model_.has_links()) {
    penalties_.link = Adapted(penalties_.link, candidates_without_link_ / seen, settings_.target_feasible);
  }
  candidates_seen_ = candidates_without_warp_ = candidates_without_excess_ = candidates_without_load_ = 0;
  candidates_without_link_ = 0;
  current.SetPenalties(penalties_);
}

void Improver::EaseIfFrozen(const LsSolution& candidate) {
  if (has_best_ || !FollowsLeastBroken()) return;
  const std::pair<int32_t, double> now = Breaks(candidate, kUnweighted);
  if (now < least_broken_) {
    least_broken_ = now;
    least_broken_at_ = iterations_;
    return;
  }
  if (iterations_ - least_broken_at_ < settings_.first_plan_stall) return;
  // A walk whose weights still lie near their start is working its way down,
  // only more slowly: it is left alone.
  const Penalties start = InitialPenalties();
  auto grown = [](double weight, double initial) {
    return initial > 0.0 && initial < kLsInfinity && weight >= kFrozenWeight * initial;
  };
  if (!grown(penalties_.time_warp, start.time_warp) && !grown(penalties_.excess, start.excess) &&
      !grown(penalties_.load, start.load) && !grown(penalties_.link, start.link)) {
    return;
  }
  // The least is measured again from here: the eased walk first breaks more.
  least_broken_ = kNothingBroken;
  least_broken_at_ = iterations_;
  penalties_ = start;
  current_.SetPenalties(penalties_);
  if (racing_) rival_.SetPenalties(penalties_);
}

void Improver::StartSchedule(const LsSolution& first) {
  double travel = 0.0;
  for (const LsRoute& route : first.routes()) {
    if (route.charge.exists()) travel += model_.by_distance() ? route.charge.distance : route.charge.finish;
  }
  const double arcs = static_cast<double>(model_.customers().size() + static_cast<size_t>(model_.num_agents()));
  const double scale = travel > 0.0 ? travel / arcs : 1.0;
  t_start_ = settings_.start_temperature * scale;
  t_end_ = settings_.end_temperature * scale;
  cycle_begin_ = iterations_;
  cycle_length_ = std::max<uint64_t>(settings_.first_cycle, 1);
}

double Improver::Temperature() const {
  const double done = static_cast<double>(iterations_ - cycle_begin_) / static_cast<double>(cycle_length_);
  return t_start_ * std::pow(t_end_ / t_start_, std::min(done, 1.0));
}

// A cooled cycle ends; the next, twice as long, starts hot from the best solution.
void Improver::ReheatIfDue(LsSolution& current) {
  if (iterations_ - cycle_begin_ < cycle_length_) return;
  cycle_begin_ = iterations_;
  cycle_length_ *= 2;
  if (has_best_) {
    current = best_;
    current.SetPenalties(penalties_);
  }
}

bool Improver::Start(const std::vector<std::vector<int32_t>>& initial, const StopCheck& stop,
                     const std::function<void(const LsSolution&)>& on_best) {
  Prepare(stop);
  // A stop seen while the tables were built is a cut, as the loop below would say.
  if (stop.ImprovementDone(0)) return false;
  on_best_ = nullptr;
  current_ = LsSolution(model_);
  Load(initial, current_);
  // The incoming solution is the bar to beat, and not reported again. With
  // optional targets even no routes at all are complete: if nothing came in,
  // that plan is the phase's own and is reported.
  const bool given = std::any_of(initial.begin(), initial.end(), [](const std::vector<int32_t>& path) {
    return path.size() >= 2;
  });
  if (given || !model_.has_optional()) KeepBest(current_);
  on_best_ = on_best;
  Construct(current_, stop);
  StartSchedule(current_);
  candidate_ = current_;
  return true;
}

bool Improver::Step(const StopCheck& stop) {
  ++iterations_;
  if (model_.customers().empty()) return false;
  if (lists_by_time_due_ && has_best_) ListByTime(stop);
  if (racing_) {
    if (has_best_) {
      racing_ = false;
      rival_ = LsSolution(model_);
    } else {
      std::swap(current_, rival_);
      current_.SetPenalties(penalties_);
    }
  }
  // A capped walk settles where the total, not the longest route, is least;
  // it and the plain one take turns whenever the walk's own best has stood a
  // while.
  if (capped_ && has_best_ && settings_.restart_after > 0 &&
      iterations_ - std::max(walk_better_at_, cap_switched_at_) >= settings_.restart_after / kCapTurnsPerKick) {
    cap_off_ = !cap_off_;
    cap_switched_at_ = iterations_;
    SetCap(best_);
  }
  if (settings_.restart_after > 0 && has_best_ && iterations_ - walk_better_at_ >= settings_.restart_after) {
    Restart(stop);
  }
  AdaptPenalties(current_);
  candidate_ = current_;
  Ruined ruined = Ruin(candidate_);
  Recreate(candidate_, current_, ruined);
  if (settings_.local_search) Descend(candidate_, ruined.pending, stop);
  RecordFeasibility(candidate_);
  KeepBest(candidate_);
  EaseIfFrozen(candidate_);
  if (Accept(candidate_, current_)) std::swap(current_, candidate_);
  ReheatIfDue(current_);
  return true;
}

// Three targets in ten of s, drawn at random, leave and go back by the
// recreate and the descent: a kick out of the basin s lies in.
void Improver::Kick(LsSolution& s, const LsSolution& reference, const StopCheck& stop) {
  for (int32_t v : model_.customers()) {
    if (s.route_of(v) >= 0 && rng_.Below(10) < 3) s.MarkUnassigned(v);
  }
  for (int32_t r = 0; r < s.num_routes(); ++r) {
    std::vector<int32_t>& path = s.path(r);
    const auto out = std::remove_if(path.begin() + 1, path.end() - 1, [&](int32_t v) { return s.route_of(v) < 0; });
    if (out == path.end() - 1) continue;
    path.erase(out, path.end() - 1);
    s.Refresh(r);
  }
  if (model_.has_links()) RuinPartners(s);
  s.CollectUnassigned();
  Ruined ruined;
  ruined.pending = s.unassigned();
  Recreate(s, reference, ruined);
  if (settings_.local_search) Descend(s, ruined.pending, stop);
}

// A walk stuck where it settled is kicked out of it from the best found, and
// goes on at a fresh schedule. Starting over from a new first solution instead
// loses what the walk had learnt, and on the larger instances its time too.
void Improver::Restart(const StopCheck& stop) {
  current_ = best_;
  current_.SetPenalties(penalties_);
  Kick(current_, best_, stop);
  walk_best_ = {kLsInfinity, kLsInfinity};
  walk_better_at_ = iterations_;
  KeepBest(current_);
  StartSchedule(current_);
}

void Improver::Adopt(const LsSolution& s) {
  FirstPlanSeen();
  current_ = s;
  current_.SetPenalties(penalties_);
  if (has_best_ && !objective_.Better(s, best_)) return;
  best_ = s;
  has_best_ = true;
  SetCap(best_);
}

bool Improver::Run(const std::vector<std::vector<int32_t>>& initial, const StopCheck& stop,
                   const std::function<void(const LsSolution&)>& on_best) {
  if (!Start(initial, stop, on_best)) return false;
  while (!stop.ImprovementDone(iterations_) && Step(stop)) {
  }
  on_best_ = nullptr;
  return has_best_;
}

}  // namespace quarn
