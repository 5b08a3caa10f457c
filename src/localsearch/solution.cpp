#include "localsearch/solution.h"

#include <algorithm>

#include "localsearch/links.h"

namespace quarn {

namespace {

// Moves the kept tail of an array read by position (old length old_k) to where
// it lies in a path of length k whose first `head` entries are kept too; what
// lies between is left to be recomputed.
template <typename T>
void ShiftTail(std::vector<T>& values, size_t head, size_t old_k, size_t k) {
  const auto at = values.begin() + static_cast<std::ptrdiff_t>(head);
  if (k > old_k) {
    values.insert(at, k - old_k, T{});
  } else {
    values.erase(at, at + static_cast<std::ptrdiff_t>(old_k - k));
  }
}

}  // namespace

const std::vector<double>& LsSolution::Distances(const LsRoute& route) const {
  return model_->has_distances() ? route.forward_distance : route.forward;
}

// StretchTravel's walk, out of line so that its common path stays inlined.
double WalkedStretchTravel(const LocalModel& model, const LsRoute& route, int32_t agent, int32_t i, int32_t j) {
  double travel = 0.0;
  const int32_t step = i <= j ? 1 : -1;
  for (int32_t p = i; p != j; p += step) {
    travel += model.Travel(agent, route.path[static_cast<size_t>(p)], route.path[static_cast<size_t>(p + step)]);
  }
  return travel;
}

RouteBuilder& RouteBuilder::WalkedSuffix(const LsRoute& route, int32_t i, int32_t depot) {
  if (i < route.last()) Range(route, i, route.last() - 1);
  return Node(depot);
}

double RouteBuilder::PrefixDistance(const LsRoute& route, int32_t i) const {
  return (model_.has_distances() ? route.forward_distance : route.forward)[static_cast<size_t>(i)];
}

double RouteBuilder::RangeDistance(const LsRoute& route, int32_t from, int32_t i, int32_t j) const {
  if (!SameTravel(route)) {
    double distance = 0.0;
    const int step = i <= j ? 1 : -1;
    for (int32_t p = i; p != j + step; p += step) {
      const int32_t v = route.path[static_cast<size_t>(p)];
      distance += model_.Distance(agent_, from, v);
      from = v;
    }
    return distance;
  }
  const bool table = model_.has_distances();
  const std::vector<double>& forward = table ? route.forward_distance : route.forward;
  const std::vector<double>& backward = table ? route.backward_distance : route.backward;
  const auto fi = static_cast<size_t>(i);
  const auto fj = static_cast<size_t>(j);
  const double stretch = i <= j ? forward[fj] - forward[fi] : backward[fi] - backward[fj];
  return model_.Distance(agent_, from, route.path[fi]) + stretch;
}

LsSolution::LsSolution(const LocalModel& model)
    : model_(&model),
      routes_(static_cast<size_t>(model.num_agents())),
      route_of_(static_cast<size_t>(model.num_nodes()), -1),
      pos_of_(static_cast<size_t>(model.num_nodes()), -1) {
  for (int32_t r = 0; r < num_routes(); ++r) {
    LsRoute& route = routes_[static_cast<size_t>(r)];
    route.agent = r;
    route.path = {model.start(r), model.end(r)};
  }
  for (int32_t r = 0; r < num_routes(); ++r) Refresh(r);
  CollectUnassigned();
}

void LsSolution::SetFinalDepot(int32_t r, int32_t depot) {
  routes_[static_cast<size_t>(r)].path.back() = depot;
  Refresh(r);
}

void LsSolution::Refresh(int32_t r) {
  if (trial_) return;
  LsRoute& route = routes_[static_cast<size_t>(r)];
  const LocalModel& model = *model_;
  const std::vector<int32_t>& path = route.path;
  const std::vector<int32_t>& seen = route.timed_path;
  const size_t k = path.size();
  const size_t old_k = seen.size();
  // The head kept: the same nodes whose places are still on record (a target
  // detached and put back where it was has lost its record); the tail kept:
  // the same nodes behind the last difference, shifted by the change in length.
  // Every cache array has the length of timed_path: only Refresh and Insert
  // change either.
  const size_t common = std::min(k, old_k);
  size_t head = 0;
  while (head < common && path[head] == seen[head] &&
         (!model.IsCustomer(path[head]) || (route_of_[static_cast<size_t>(path[head])] == r &&
                                            pos_of_[static_cast<size_t>(path[head])] == static_cast<int32_t>(head)))) {
    ++head;
  }
  size_t tail = 0;
  while (tail < common - head && path[k - 1 - tail] == seen[old_k - 1 - tail]) ++tail;
  if (k != old_k) {
    ShiftTail(route.legs, head, old_k, k);
    ShiftTail(route.back_legs, head, old_k, k);
    ShiftTail(route.suffix, head, old_k, k);
  }
  // The legs change from the first new node to the one that joins the kept tail.
  const size_t last_leg = std::min(k - tail, k - 1);
  for (size_t p = std::max<size_t>(head, 1); p <= last_leg; ++p) {
    route.legs[p] = model.Travel(r, path[p - 1], path[p]);
    route.back_legs[p] = model.Travel(r, path[p], path[p - 1]);
  }
  route.legs[0] = route.back_legs[0] = 0.0;
  route.prefix.resize(k);
  route.forward.resize(k);
  route.backward.resize(k);
  route.clock.resize(k);
  route.warps.resize(k);
  route.timed_path = path;
  // Prefixes from the first difference on, suffixes up to the last; an
  // unchanged path re-times only its ends.
  const size_t from = std::min(head, k - 1);
  const size_t to = (head == k && k == old_k) || tail >= k ? 0 : k - tail - 1;
  Retime(r, from, to);
}

void LsSolution::Insert(int32_t r, int32_t gap, int32_t v) {
  LsRoute& route = routes_[static_cast<size_t>(r)];
  std::vector<int32_t>& path = route.path;
  const auto at = static_cast<size_t>(gap);
  path.insert(path.begin() + gap, v);
  const size_t k = path.size();
  // Caches left stale by an edit, and a trial, are rebuilt whole (or left, as Refresh does).
  if (trial_ || route.timed_path.size() + 1 != k || gap < 1 || at + 1 >= k) {
    Refresh(r);
    return;
  }
  // Every prefix before the gap and every suffix behind it stays as it was;
  // only the two legs beside v are new.
  const LocalModel& model = *model_;
  route.prefix.insert(route.prefix.begin() + gap, TimingSegment{});
  route.suffix.insert(route.suffix.begin() + gap, TimingSegment{});
  route.forward.insert(route.forward.begin() + gap, 0.0);
  route.backward.insert(route.backward.begin() + gap, 0.0);
  route.legs.insert(route.legs.begin() + gap, 0.0);
  route.back_legs.insert(route.back_legs.begin() + gap, 0.0);
  route.clock.insert(route.clock.begin() + gap, 0.0);
  route.warps.insert(route.warps.begin() + gap, 0.0);
  route.timed_path.insert(route.timed_path.begin() + gap, v);
  for (size_t p = at; p <= at + 1; ++p) {
    route.legs[p] = model.Travel(r, path[p - 1], path[p]);
    route.back_legs[p] = model.Travel(r, path[p], path[p - 1]);
  }
  Retime(r, at, at);
}

void LsSolution::Retime(int32_t r, size_t from, size_t to) {
  LsRoute& route = routes_[static_cast<size_t>(r)];
  const LocalModel& model = *model_;
  const size_t k = route.path.size();
  const bool services = model.has_services();
  // The charge walks exactly like route validation (a late arrival travels back
  // to the window's close), so on a feasible route the two agree to the bit;
  // the walk before `from` is the same as before, so it resumes there.
  bool ok = from == 0 || route.admitted >= from;
  if (ok) route.admitted = k;
  double t = from == 0 ? 0.0 : route.clock[from - 1];
  double warp = from == 0 ? 0.0 : route.warps[from - 1];
  for (size_t p = from; p < k; ++p) {
    const int32_t node = route.path[p];
    if (model.IsCustomer(node)) {
      route_of_[static_cast<size_t>(node)] = r;
      pos_of_[static_cast<size_t>(node)] = static_cast<int32_t>(p);
    }
    const TimingSegment single = TimingSegment::Of(model, node);
    bool fits = model.Admits(r, node);
    if (p == 0) {
      route.prefix[0] = single;
      route.forward[0] = 0.0;
      route.backward[0] = 0.0;
    } else {
      const double travel = route.legs[p];
      fits = fits && travel < kLsInfinity;
      t += travel;
      route.forward[p] = route.forward[p - 1] + travel;
      route.backward[p] = route.backward[p - 1] + route.back_legs[p];
      if (!Concat(route.prefix[p - 1], travel, single, route.prefix[p])) {
        route.prefix[p] = TimingSegment::Broken(route.path[0], node);
      }
    }
    if (ok && !fits) {
      ok = false;
      route.admitted = p;
    }
    if (t > model.latest(node)) {
      warp += t - model.latest(node);
      t = model.latest(node);
    }
    t = std::max(t, model.earliest(node));
    if (services) t += model.service(node);
    route.clock[p] = t;
    route.warps[p] = warp;
  }
  if (to + 1 >= k) route.suffix[k - 1] = TimingSegment::Of(model, route.path[k - 1]);
  for (size_t p = std::min(to + 1, k - 1); p-- > 0;) {
    const TimingSegment single = TimingSegment::Of(model, route.path[p]);
    if (!Concat(single, route.legs[p + 1], route.suffix[p + 1], route.suffix[p])) {
      route.suffix[p] = TimingSegment::Broken(route.path[p], route.path[k - 1]);
    }
  }
  if (services || model.has_capacities() || model.has_distances() || model.by_distance()) FillSums(route);
  route.charge = RouteCharge{};
  if (ok) {
    route.charge.finish = t;
    route.charge.time_warp = warp;
    route.charge.distance = Distances(route).back();
    const double limit = model.limit(r);
    if (limit > 0.0) {
      // Where arcs run the clock back it may pass the limit before the finish.
      const double peak = model.has_negative_arcs() ? *std::max_element(route.clock.begin(), route.clock.end()) : t;
      if (peak > limit) route.charge.excess = peak - limit;
    }
    if (!route.load.empty()) route.charge.load_excess = LoadExcess(model, r, route.load.back());
  }
  route.cost = penalties_.Price(route.charge, model.by_distance());
  ++route.epoch;
  route.blocks_ready = false;
  if (model.has_links()) {
    route.own = route.charge;
    Relink();
  }
  RecomputeTotals();
}

void LsSolution::Relink() {
  const SequenceRules& sequence = model_->sequence();
  std::vector<const std::vector<int32_t>*> paths;
  paths.reserve(routes_.size());
  for (LsRoute& route : routes_) {
    paths.push_back(&route.path);
    route.paired = 0;
    for (int32_t v : route.path) route.paired += sequence.Paired(v) ? 1 : 0;
  }
  const LinkedTiming timing = ScheduleLinked(*model_, paths);
  for (size_t r = 0; r < routes_.size(); ++r) {
    LsRoute& route = routes_[r];
    if (!route.charge.exists()) continue;
    route.charge = LinkedCharge(*model_, static_cast<int32_t>(r), route.charge, timing);
    route.cost = penalties_.Price(route.charge, model_->by_distance());
  }
}

void LsSolution::FillSums(LsRoute& route) const {
  const LocalModel& model = *model_;
  const size_t k = route.path.size();
  const int32_t r = route.agent;
  // Summed in route order, as validation sums them.
  if (model.has_capacities() || model.by_distance()) {
    route.load.assign(k + 1, 0.0);
    for (size_t p = 0; p < k; ++p) route.load[p + 1] = route.load[p] + model.demand(route.path[p]);
  }
  if (model.has_services()) {
    route.served.assign(k, 0.0);
    double served = 0.0;
    for (size_t p = 0; p < k; ++p) {
      served += model.service(route.path[p]);
      route.served[p] = served;
    }
  }
  if (model.has_distances()) {
    route.forward_distance.assign(k, 0.0);
    route.backward_distance.assign(k, 0.0);
    for (size_t p = 1; p < k; ++p) {
      const int32_t u = route.path[p - 1];
      const int32_t v = route.path[p];
      route.forward_distance[p] = route.forward_distance[p - 1] + model.Distance(r, u, v);
      route.backward_distance[p] = route.backward_distance[p - 1] + model.Distance(r, v, u);
    }
  }
}

const std::vector<std::vector<TimingSegment>>& RouteBlocks(const LocalModel& model, const LsRoute& route) {
  if (route.blocks_ready) return route.blocks;
  const size_t k = route.path.size();
  size_t levels = 0;
  if (model.has_windows()) {
    while ((size_t{2} << levels) <= k) ++levels;
  }
  route.blocks.resize(levels);
  for (size_t l = 0; l < levels; ++l) {
    const size_t half = size_t{1} << l;
    std::vector<TimingSegment>& level = route.blocks[l];
    level.resize(k + 1 - 2 * half);
    for (size_t p = 0; p < level.size(); ++p) {
      const TimingSegment left = l == 0 ? TimingSegment::Of(model, route.path[p]) : route.blocks[l - 1][p];
      const TimingSegment right =
          l == 0 ? TimingSegment::Of(model, route.path[p + 1]) : route.blocks[l - 1][p + half];
      if (!Join(model, route.agent, left, right, level[p])) {
        level[p] = TimingSegment::Broken(left.first, right.last);
      }
    }
  }
  route.blocks_ready = true;
  return route.blocks;
}

double LsSolution::RemovalPrice(int32_t r, int32_t pos) const {
  const LsRoute& route = routes_[static_cast<size_t>(r)];
  const auto p = static_cast<size_t>(pos);
  if (route.removal.size() != route.path.size()) {
    route.removal.assign(route.path.size(), kLsInfinity);
    route.removal_epoch.assign(route.path.size(), 0);
  }
  if (route.removal_epoch[p] != route.epoch) {
    route.removal[p] = model_->has_capacities() || model_->by_distance() ? PriceRemoval<true>(route, p)
                                                                         : PriceRemoval<false>(route, p);
    route.removal_epoch[p] = route.epoch;
  }
  return route.removal[p];
}

template <bool kTally>
double LsSolution::PriceRemoval(const LsRoute& route, size_t p) const {
  const LocalModel& model = *model_;
  const size_t k = route.path.size();
  if (p < 1 || p + 1 >= k) return kLsInfinity;
  const int32_t before = route.path[p - 1];
  const int32_t after = route.path[p + 1];
  TimingSegment joined;
  if (!Concat(route.prefix[p - 1], model.Travel(route.agent, before, after), route.suffix[p + 1], joined)) {
    return kLsInfinity;
  }
  if constexpr (!kTally) {
    return penalties_.Price(TimingCharge(model, route.agent, joined));
  } else {
    const bool by_distance = model.by_distance();
    const double load = route.load.back() - model.demand(route.path[p]);
    double distance = 0.0;
    if (by_distance) {
      const std::vector<double>& sums = Distances(route);
      distance = sums[p - 1] + model.Distance(route.agent, before, after) + (sums.back() - sums[p + 1]);
    }
    return penalties_.Price(ChargeOf(model, route.agent, joined, load, distance), by_distance);
  }
}

void LsSolution::SetPenalties(const Penalties& penalties) {
  penalties_ = penalties;
  for (LsRoute& route : routes_) {
    route.cost = penalties_.Price(route.charge, model_->by_distance());
    ++route.epoch;
  }
  RecomputeTotals();
}

void LsSolution::RefreshAll() {
  for (int32_t r = 0; r < num_routes(); ++r) Refresh(r);
}

void LsSolution::Detach(int32_t v) {
  const int32_t r = route_of(v);
  if (r < 0) return;
  std::vector<int32_t>& p = routes_[static_cast<size_t>(r)].path;
  p.erase(p.begin() + pos_of(v));
  route_of_[static_cast<size_t>(v)] = -1;
  pos_of_[static_cast<size_t>(v)] = -1;
}

void LsSolution::MarkUnassigned(int32_t v) {
  route_of_[static_cast<size_t>(v)] = -1;
  pos_of_[static_cast<size_t>(v)] = -1;
}

void LsSolution::CollectUnassigned() {
  unassigned_.clear();
  left_out_ = 0.0;
  required_missing_ = 0;
  for (int32_t v : model_->customers()) {
    if (route_of(v) >= 0) continue;
    unassigned_.push_back(v);
    if (model_->IsOptional(v)) {
      left_out_ += model_->left_out_penalty(v);
    } else {
      ++required_missing_;
    }
  }
}

void LsSolution::RecomputeTotals() {
  sum_ = 0.0;
  for (int i = 0; i < 3; ++i) {
    top_[i] = 0.0;
    top_route_[i] = -1;
  }
  for (int32_t r = 0; r < num_routes(); ++r) {
    const double c = routes_[static_cast<size_t>(r)].cost;
    sum_ += c;
    for (int i = 0; i < 3; ++i) {
      if (top_route_[i] < 0 || c > top_[i]) {
        for (int j = 2; j > i; --j) {
          top_[j] = top_[j - 1];
          top_route_[j] = top_route_[j - 1];
        }
        top_[i] = c;
        top_route_[i] = r;
        break;
      }
    }
  }
}

double LsSolution::MaxExcluding(int32_t r1, int32_t r2) const {
  for (int i = 0; i < 3; ++i) {
    if (top_route_[i] >= 0 && top_route_[i] != r1 && top_route_[i] != r2) return top_[i];
  }
  return 0.0;
}

bool LsSolution::feasible() const {
  for (const LsRoute& route : routes_) {
    if (!route.feasible()) return false;
  }
  return true;
}

}  // namespace quarn
