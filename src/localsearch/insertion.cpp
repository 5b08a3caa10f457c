#include "localsearch/insertion.h"

#include <algorithm>
#include <utility>

#include "localsearch/links.h"

namespace quarn {
namespace {

// A recreate skips each spot with probability `blink`, so equal insertions vary.
bool Blinks(Rng* rng, double blink) { return rng != nullptr && blink > 0.0 && rng->Unit() < blink; }

// Route r's cost with v inserted before the node at `gap`.
double CostWithInserted(const LsSolution& s, int32_t r, int32_t gap, int32_t v) {
  const LsRoute& route = s.route(r);
  return RouteBuilder(s, r).Prefix(route, gap - 1).Node(v).Suffix(route, gap, route.path.back()).Cost();
}

// A lower bound of CostWithInserted where TravelBoundsPrice holds (NaN where the
// route has no finite travel, which bounds nothing).
double BoundWithInserted(const LsSolution& s, int32_t r, int32_t gap, int32_t v) {
  return BoundReplaced(s.model(), s.route(r), gap - 1, gap, v, v, 0.0, s.model().service(v));
}

}  // namespace

InsertionSpot CheapestInRoute(const LsSolution& s, int32_t r, int32_t v, Rng* rng, double blink, bool pairs) {
  InsertionSpot best;
  const LocalModel& model = s.model();
  if (!model.Admits(r, v)) return best;
  const LsRoute& route = s.route(r);
  pairs = pairs && model.has_links();
  const bool bounded = TravelBoundsPrice(s, r);
  for (int32_t gap = 1; gap <= route.last(); ++gap) {
    if (Blinks(rng, blink)) continue;
    if (pairs && !PairsAllow(s, r, gap, v)) continue;
    if (bounded && BoundWithInserted(s, r, gap, v) >= best.cost) continue;
    const double cost = CostWithInserted(s, r, gap, v);
    if (cost < best.cost) best = InsertionSpot{r, gap, cost, kLsInfinity};
  }
  return best;
}

InsertionSpot CheapestInsertion(const LsSolution& s, const LsObjective& objective, int32_t v,
                                Rng* rng, double blink, int32_t closed) {
  InsertionSpot best;
  // Where the pairs leave no spot, v goes in breaking one, charged by the links.
  for (const bool pairs : {true, false}) {
    for (int32_t r = 0; r < s.num_routes(); ++r) {
      if (r == closed) continue;
      InsertionSpot spot = CheapestInRoute(s, r, v, rng, blink, pairs);
      if (spot.route < 0) continue;
      spot.delta = objective.Delta(s, r, spot.cost, -1, 0.0);
      if (spot.delta < best.delta) best = spot;
    }
    if (best.route >= 0 || !s.model().has_links()) break;
  }
  return best;
}

InsertionSpot NearInsertion(const LsSolution& s, const LsObjective& objective,
                            const Neighbours& neighbours, int32_t v, Rng* rng, double blink,
                            int32_t closed) {
  const LocalModel& model = s.model();
  const bool links = model.has_links();
  InsertionSpot best;
  auto price = [&](int32_t r, int32_t gap) {
    if (r == closed || Blinks(rng, blink)) return;
    if (gap < 1 || gap > s.route(r).last()) return;
    if (links && !PairsAllow(s, r, gap, v)) return;
    if (TravelBoundsPrice(s, r) && objective.Delta(s, r, BoundWithInserted(s, r, gap, v), -1, 0.0) >= best.delta) {
      return;
    }
    const double cost = CostWithInserted(s, r, gap, v);
    if (!(cost < kLsInfinity)) return;
    const double delta = objective.Delta(s, r, cost, -1, 0.0);
    if (delta < best.delta) best = InsertionSpot{r, gap, cost, delta};
  };
  for (int32_t r = 0; r < s.num_routes(); ++r) {
    if (!model.Admits(r, v)) continue;
    price(r, 1);
    price(r, s.route(r).last());
  }
  for (int32_t t = 0; t < model.num_types(); ++t) {
    for (int32_t w : neighbours.Near(t, v)) {
      const int32_t r = s.route_of(w);
      if (r < 0 || model.type(r) != t || !model.Admits(r, v)) continue;
      price(r, s.pos_of(w));
      price(r, s.pos_of(w) + 1);
    }
  }
  if (best.route >= 0) return best;
  return CheapestInsertion(s, objective, v, rng, blink, closed);
}

void InsertAt(LsSolution& s, int32_t v, const InsertionSpot& spot) {
  s.Insert(spot.route, spot.gap, v);
}

void InsertChains(LsSolution& s, const LsObjective& objective, int32_t closed) {
  const LocalModel& model = s.model();
  if (model.has_links()) return;
  // Each pass prices every stuck target with every partner in every gap: a
  // bound keeps an instance whose targets no route can ever take cheap.
  constexpr size_t kMostPartners = 32;
  for (;;) {
    std::vector<int32_t> stuck;
    std::vector<int32_t> partners;
    for (int32_t v : s.unassigned()) {
      if (!model.IsOptional(v)) stuck.push_back(v);
      if (partners.size() < kMostPartners) partners.push_back(v);
    }
    if (stuck.empty()) return;
    double best_delta = kLsInfinity;
    int32_t best_route = -1;
    int32_t best_gap = -1;
    int32_t first = -1;
    int32_t second = -1;
    int32_t best_from = -1;  // the route the partner leaves, -1 if it was left out
    int32_t partner = -1;
    // v and w side by side in route r; w leaves route `from` (-1: w is left
    // out) at the price `from_cost`.
    auto price = [&](int32_t v, int32_t w, int32_t from, double from_cost) {
      for (int32_t r = 0; r < s.num_routes(); ++r) {
        if (r == closed || r == from || !model.Admits(r, v) || !model.Admits(r, w)) continue;
        const LsRoute& route = s.route(r);
        for (int32_t gap = 1; gap <= route.last(); ++gap) {
          // Both orders: v behind w and w behind v.
          for (const auto& [a, b] : {std::pair<int32_t, int32_t>{v, w}, std::pair<int32_t, int32_t>{w, v}}) {
            const double cost =
                RouteBuilder(s, r).Prefix(route, gap - 1).Node(a).Node(b).Suffix(route, gap, route.path.back()).Cost();
            if (!(cost < kLsInfinity)) continue;
            const double delta = objective.Delta(s, r, cost, from, from_cost);
            if (delta < best_delta) {
              best_delta = delta;
              best_route = r;
              best_gap = gap;
              first = a;
              second = b;
              best_from = from;
              partner = w;
            }
          }
        }
      }
    };
    for (int32_t v : stuck) {
      for (int32_t w : partners) {
        if (w != v) price(v, w, -1, 0.0);
      }
    }
    // Failing a left-out partner, one taken off another route: those nearest
    // before or after v in some agent's travel.
    if (best_route < 0) {
      for (int32_t v : stuck) {
        std::vector<std::pair<double, int32_t>> near;
        for (int32_t w : model.customers()) {
          if (s.route_of(w) < 0) continue;
          double arc = kLsInfinity;
          for (int32_t t = 0; t < model.num_types(); ++t) {
            arc = std::min({arc, model.TypeArc(t, w, v), model.TypeArc(t, v, w)});
          }
          if (arc < kLsInfinity) near.emplace_back(arc, w);
        }
        if (near.size() > kMostPartners) {
          std::nth_element(near.begin(), near.begin() + kMostPartners, near.end());
          near.resize(kMostPartners);
        }
        for (const auto& [arc, w] : near) {
          const int32_t from = s.route_of(w);
          const double from_cost = s.RemovalPrice(from, s.pos_of(w));
          if (from_cost < kLsInfinity) price(v, w, from, from_cost);
        }
      }
    }
    if (best_route < 0) return;
    if (best_from >= 0) {
      std::vector<int32_t>& from = s.path(best_from);
      from.erase(from.begin() + s.pos_of(partner));
      s.Refresh(best_from);
    }
    std::vector<int32_t>& path = s.path(best_route);
    path.insert(path.begin() + best_gap, {first, second});
    s.Refresh(best_route);
    s.CollectUnassigned();
  }
}

void RegretInsertion(LsSolution& s, const LsObjective& objective) {
  std::vector<int32_t> pending = s.unassigned();
  const size_t m = static_cast<size_t>(s.num_routes());
  // Per pending target and route, the cheapest spot; only the changed route is re-priced.
  std::vector<InsertionSpot> spots(pending.size() * m);
  for (size_t i = 0; i < pending.size(); ++i) {
    for (size_t r = 0; r < m; ++r) spots[i * m + r] = CheapestInRoute(s, static_cast<int32_t>(r), pending[i]);
  }
  std::vector<uint8_t> done(pending.size(), 0);
  for (size_t step = 0; step < pending.size(); ++step) {
    size_t pick = pending.size();
    double pick_regret = -kLsInfinity;
    double pick_delta = kLsInfinity;
    InsertionSpot pick_spot;
    for (size_t i = 0; i < pending.size(); ++i) {
      if (done[i] != 0) continue;
      double first = kLsInfinity;
      double second = kLsInfinity;
      InsertionSpot best;
      for (size_t r = 0; r < m; ++r) {
        const InsertionSpot& spot = spots[i * m + r];
        if (spot.route < 0) continue;
        const double d = objective.Delta(s, spot.route, spot.cost, -1, 0.0);
        if (d < first) {
          second = first;
          first = d;
          best = spot;
        } else if (d < second) {
          second = d;
        }
      }
      if (best.route < 0 || !s.model().InsertionPays(pending[i], first)) continue;
      // A target with a single feasible route is the most urgent.
      const double regret = second < kLsInfinity ? second - first : kLsInfinity;
      if (regret > pick_regret || (regret == pick_regret && first < pick_delta)) {
        pick = i;
        pick_regret = regret;
        pick_delta = first;
        pick_spot = best;
      }
    }
    if (pick == pending.size()) break;
    InsertAt(s, pending[pick], pick_spot);
    done[pick] = 1;
    for (size_t i = 0; i < pending.size(); ++i) {
      if (done[i] == 0) spots[i * m + static_cast<size_t>(pick_spot.route)] = CheapestInRoute(s, pick_spot.route, pending[i]);
    }
  }
  s.CollectUnassigned();
}

void FarthestFirstInsertion(LsSolution& s, const LsObjective& objective, const Neighbours& neighbours,
                      const std::vector<double>& depot_distance, const StopCheck* stop) {
  std::vector<int32_t> pending = s.unassigned();
  std::stable_sort(pending.begin(), pending.end(), [&](int32_t a, int32_t b) {
    return depot_distance[static_cast<size_t>(a)] > depot_distance[static_cast<size_t>(b)];
  });
  InsertInOrder(s, objective, &neighbours, pending, stop);
}

void InsertInOrder(LsSolution& s, const LsObjective& objective, const Neighbours* neighbours,
                   const std::vector<int32_t>& order, const StopCheck* stop) {
  constexpr size_t kStopCheckEvery = 64;
  for (size_t i = 0; i < order.size(); ++i) {
    if (stop != nullptr && i % kStopCheckEvery == kStopCheckEvery - 1 && stop->Expired()) break;
    const int32_t v = order[i];
    const InsertionSpot spot = neighbours != nullptr ? NearInsertion(s, objective, *neighbours, v)
                                                     : CheapestInsertion(s, objective, v);
    if (spot.route >= 0 && s.model().InsertionPays(v, spot.delta)) InsertAt(s, v, spot);
  }
  s.CollectUnassigned();
}

}  // namespace quarn
