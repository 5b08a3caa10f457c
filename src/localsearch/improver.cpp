#include "localsearch/improver.h"

#include <algorithm>
#include <cmath>

#include "localsearch/insertion.h"
#include "localsearch/local_search.h"
#include "localsearch/neighbours.h"
#include "localsearch/rng.h"

namespace quarn {
namespace {

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

}  // namespace

Improver::Improver(const LocalModel& model, const ImproveSettings& settings)
    : model_(model), settings_(settings), best_(model) {
  objective_.min_max = settings.min_max;
  objective_.alpha = settings.alpha;
}

void Improver::Load(const std::vector<std::vector<int32_t>>& initial, LsSolution& s) const {
  std::vector<uint8_t> seen(static_cast<size_t>(model_.num_nodes()), 0);
  for (int32_t r = 0; r < s.num_routes() && static_cast<size_t>(r) < initial.size(); ++r) {
    const std::vector<int32_t>& given = initial[static_cast<size_t>(r)];
    if (given.size() < 2) continue;
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
    if (!(s.route(r).cost < kLsInfinity)) {
      // A route this phase cannot vouch for gives its targets back for reinsertion.
      for (size_t p = 1; p + 1 < path.size(); ++p) s.MarkUnassigned(path[p]);
      path = {model_.start(r), model_.end(r)};
      s.Refresh(r);
    }
  }
  s.CollectUnassigned();
}

bool Improver::Run(const std::vector<std::vector<int32_t>>& initial, const StopCheck& stop,
                   const std::function<double(uint64_t)>& progress,
                   const std::function<void(const LsSolution&)>& on_best) {
  Rng rng(settings_.seed);
  has_best_ = false;
  iterations_ = 0;
  // The lists take a while on a large instance: Ctrl-C and the limit are asked there too.
  Neighbours neighbours(model_, settings_.neighbours, &stop);
  if (stop.Expired()) return false;
  LocalSearch local(neighbours, settings_.neighbour_limited);
  std::vector<double> depot_distance(static_cast<size_t>(model_.num_nodes()), kLsInfinity);
  for (int32_t v : model_.customers()) {
    for (int32_t a = 0; a < model_.num_agents(); ++a) {
      depot_distance[static_cast<size_t>(v)] =
          std::min(depot_distance[static_cast<size_t>(v)], model_.TypeArc(model_.type(a), model_.start(a), v));
    }
  }
  LsSolution current(model_);
  Load(initial, current);
  auto consider = [&](const LsSolution& s) {
    if (!s.unassigned().empty() || !s.feasible()) return;
    if (has_best_ && !objective_.Better(s.max(), s.sum(), best_.max(), best_.sum())) return;
    best_ = s;
    has_best_ = true;
    if (on_best) on_best(best_);
  };
  // The incoming solution is the bar to beat, and not reported again.
  if (current.unassigned().empty() && current.feasible()) {
    best_ = current;
    has_best_ = true;
  }
  if (!current.unassigned().empty()) {
    if (settings_.neighbour_limited) {
      FarthestFirstInsertion(current, objective_, neighbours, depot_distance, &stop);
      consider(current);
    } else {
      RegretInsertion(current, objective_);
    }
  }
  if (settings_.local_search) local.Run(current, objective_, rng, {}, &stop);
  consider(current);

  const double arcs = static_cast<double>(model_.customers().size() + static_cast<size_t>(model_.num_agents()));
  const double scale = current.feasible() && current.sum() > 0.0 ? current.sum() / arcs : 1.0;
  const double t_start = settings_.start_temperature * scale;
  const double t_end = settings_.end_temperature * scale;

  LsSolution candidate = current;
  while (!stop.ImprovementDone(iterations_)) {
    ++iterations_;
    if (model_.customers().empty()) break;
    const double done = std::clamp(progress ? progress(iterations_) : 0.0, 0.0, 1.0);
    const double temperature = t_start * std::pow(t_end / t_start, done);
    candidate = current;
    RuinAdjacentStrings(candidate, neighbours, settings_.ruin, rng);
    std::vector<int32_t> pending = candidate.unassigned();
    SortForRecreate(pending, depot_distance, rng);
    // Targets that were left out go in first, while there is most room.
    if (!current.unassigned().empty()) {
      std::stable_partition(pending.begin(), pending.end(), [&](int32_t v) { return current.route_of(v) < 0; });
    }
    for (int32_t v : pending) {
      const InsertionSpot spot =
          settings_.neighbour_limited
              ? NearInsertion(candidate, objective_, neighbours, v, &rng, settings_.blink)
              : CheapestInsertion(candidate, objective_, v, &rng, settings_.blink);
      if (spot.route >= 0) InsertAt(candidate, v, spot);
    }
    candidate.CollectUnassigned();
    if (settings_.local_search) local.Run(candidate, objective_, rng, pending, &stop);
    const size_t missing = candidate.unassigned().size();
    const size_t missing_now = current.unassigned().size();
    bool accept = missing < missing_now;
    if (missing == missing_now) {
      // Threshold form of the annealing test: one draw per candidate.
      const double threshold = objective_.Of(current) - temperature * std::log(rng.Unit() + 1e-300);
      accept = objective_.Of(candidate) < threshold;
    }
    if (accept) {
      std::swap(current, candidate);
      consider(current);
    }
  }
  return has_best_;
}

}  // namespace quarn
