#include "localsearch/links.h"

#include <algorithm>

namespace quarn {

LinkedTiming ScheduleLinked(const LocalModel& model, const std::vector<const std::vector<int32_t>*>& paths) {
  struct Window {
    const LocalModel& model;
    double earliest(int32_t v) const { return model.earliest(v); }
    double latest(int32_t v) const { return model.latest(v); }
    double service(int32_t v) const { return model.service(v); }
  };
  auto travel = [&model](int32_t r, int32_t u, int32_t v) { return model.Travel(r, u, v); };
  auto admits = [&model](int32_t r, int32_t v) { return model.Admits(r, v); };
  return model.sequence().Schedule(paths, travel, admits, Window{model});
}

RouteCharge LinkedCharge(const LocalModel& model, int32_t r, const RouteCharge& own, const LinkedTiming& timing) {
  RouteCharge charge = own;
  const auto k = static_cast<size_t>(r);
  charge.finish = timing.finish[k];
  charge.time_warp = timing.warp[k];
  charge.link = timing.broken[k];
  charge.excess = 0.0;
  const double limit = model.limit(r);
  if (limit > 0.0 && charge.finish > limit && charge.exists()) charge.excess = charge.finish - limit;
  return charge;
}

namespace {

// What a route's own walk adds to its charge: its load beyond the capacity and its distance.
RouteCharge OwnCharge(const LocalModel& model, int32_t r, const std::vector<int32_t>& path) {
  RouteCharge charge;
  double load = 0.0;
  double distance = 0.0;
  for (size_t p = 0; p < path.size(); ++p) {
    load += model.demand(path[p]);
    if (p > 0) distance += model.Distance(r, path[p - 1], path[p]);
  }
  charge.load_excess = LoadExcess(model, r, load);
  charge.distance = distance;
  return charge;
}

}  // namespace

double LinkedDelta(LsSolution& s, const LsObjective& objective, const MoveOperator& op, const Move& move) {
  const LocalModel& model = s.model();
  const int32_t r1 = move.r1;
  const int32_t r2 = move.r2;
  const std::vector<int32_t> saved1 = s.path(r1);
  const std::vector<int32_t> saved2 = r2 >= 0 ? s.path(r2) : std::vector<int32_t>{};
  s.BeginTrial();
  op.Apply(s, move);
  std::vector<const std::vector<int32_t>*> paths;
  paths.reserve(static_cast<size_t>(s.num_routes()));
  for (const LsRoute& route : s.routes()) paths.push_back(&route.path);
  const LinkedTiming timing = ScheduleLinked(model, paths);
  double sum = 0.0;
  double max = -kLsInfinity;
  for (int32_t r = 0; r < s.num_routes(); ++r) {
    const bool moved = r == r1 || r == r2;
    const RouteCharge own = moved ? OwnCharge(model, r, s.route(r).path) : s.route(r).charge;
    const double cost =
        s.penalties().Price(LinkedCharge(model, r, own, timing), model.by_distance());
    sum += cost;
    max = std::max(max, cost);
  }
  s.path(r1) = saved1;
  if (r2 >= 0) s.path(r2) = saved2;
  s.EndTrial();
  if (!(sum < kLsInfinity)) return kLsInfinity;
  return objective.Scalar(max, sum) - objective.Of(s);
}

double LinkedBound(const LsSolution& s, const LsObjective& objective, const Move& move) {
  const bool by_distance = s.model().by_distance();
  double max = move.cost1;
  double sum = move.cost1;
  if (move.r2 >= 0) {
    max = std::max(max, move.cost2);
    sum += move.cost2;
  }
  for (int32_t r = 0; r < s.num_routes(); ++r) {
    if (r == move.r1 || r == move.r2) continue;
    const LsRoute& route = s.route(r);
    const double cost = route.charge.exists() ? s.penalties().Price(route.own, by_distance) : route.cost;
    max = std::max(max, cost);
    sum += cost;
  }
  return objective.Scalar(max, sum) - objective.Of(s);
}

void RuinPartners(LsSolution& s) {
  const SequenceRules& sequence = s.model().sequence();
  bool touched = false;
  for (size_t i = 0; i < s.unassigned().size(); ++i) {
    const int32_t v = s.unassigned()[i];
    if (!sequence.Paired(v)) continue;
    for (const int32_t* k = sequence.begin_of(v); k != sequence.end_of(v); ++k) {
      const IndexPair& pair = sequence.pairs()[static_cast<size_t>(*k)];
      const int32_t w = pair.before == v ? pair.after : pair.before;
      const int32_t r = s.route_of(w);
      if (pair.kind != PairKind::kSame || r < 0) continue;
      // Positions along the route move with each removal: refreshed one by one.
      s.Detach(w);
      s.Refresh(r);
      touched = true;
    }
  }
  if (touched) s.CollectUnassigned();
}

bool InsertWithPartner(LsSolution& s, const LsObjective& objective, int32_t v, int32_t closed) {
  const LocalModel& model = s.model();
  const SequenceRules& sequence = model.sequence();
  if (!sequence.Paired(v)) return false;
  int32_t first = -1;
  int32_t second = -1;
  for (const int32_t* k = sequence.begin_of(v); k != sequence.end_of(v) && first < 0; ++k) {
    const IndexPair& pair = sequence.pairs()[static_cast<size_t>(*k)];
    const int32_t w = pair.before == v ? pair.after : pair.before;
    if (pair.kind != PairKind::kSame || s.route_of(w) >= 0) continue;
    first = pair.before;
    second = pair.after;
  }
  if (first < 0) return false;
  int32_t best_route = -1;
  int32_t best_i = 0;
  int32_t best_j = 0;
  double best_delta = kLsInfinity;
  // `first` before path[i], `second` before path[j], j >= i; with `pairs` only
  // where their pairs with targets already placed allow.
  auto scan = [&](bool pairs) {
    for (int32_t r = 0; r < s.num_routes(); ++r) {
      if (r == closed || !model.Admits(r, first) || !model.Admits(r, second)) continue;
      const LsRoute& route = s.route(r);
      for (int32_t i = 1; i <= route.last(); ++i) {
        if (pairs && !PairsAllow(s, r, i, first)) continue;
        for (int32_t j = i; j <= route.last(); ++j) {
          if (pairs && !PairsAllow(s, r, j, second)) continue;
          RouteBuilder builder(s, r);
          builder.Prefix(route, i - 1).Node(first);
          if (j > i) builder.Range(route, i, j - 1);
          const double cost = builder.Node(second).Suffix(route, j, route.path.back()).Cost();
          if (!(cost < kLsInfinity)) continue;
          const double delta = objective.Delta(s, r, cost, -1, 0.0);
          if (delta < best_delta) {
            best_delta = delta;
            best_route = r;
            best_i = i;
            best_j = j;
          }
        }
      }
    }
  };
  scan(true);
  if (best_route < 0) scan(false);
  if (best_route < 0) return false;
  std::vector<int32_t>& path = s.path(best_route);
  path.insert(path.begin() + best_j, second);
  path.insert(path.begin() + best_i, first);
  s.Refresh(best_route);
  return true;
}

bool PairsAllow(const LsSolution& s, int32_t r, int32_t gap, int32_t v) {
  const SequenceRules& sequence = s.model().sequence();
  if (!sequence.Paired(v)) return true;
  for (const int32_t* k = sequence.begin_of(v); k != sequence.end_of(v); ++k) {
    const IndexPair& pair = sequence.pairs()[static_cast<size_t>(*k)];
    const bool first = pair.before == v;
    const int32_t w = first ? pair.after : pair.before;
    const int32_t rw = s.route_of(w);
    if (rw < 0) continue;
    if (pair.kind == PairKind::kDiff) {
      if (rw == r) return false;
      continue;
    }
    if (pair.kind == PairKind::kSame && rw != r) return false;
    if (rw == r && (first ? gap > s.pos_of(w) : gap <= s.pos_of(w))) return false;
  }
  return true;
}

}  // namespace quarn
