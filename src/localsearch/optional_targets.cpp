#include "localsearch/optional_targets.h"

#include <algorithm>

#include "localsearch/insertion.h"

namespace quarn {

double DropDelta(const LsSolution& s, const LsObjective& objective, int32_t u) {
  const LocalModel& model = s.model();
  const int32_t r = s.route_of(u);
  if (r < 0 || !model.IsOptional(u)) return kLsInfinity;
  const double without = s.RemovalPrice(r, s.pos_of(u));
  if (!(without < kLsInfinity)) return kLsInfinity;
  return objective.Delta(s, r, without, -1, 0.0) + model.left_out_penalty(u);
}

void DropTarget(LsSolution& s, int32_t u) {
  const int32_t r = s.route_of(u);
  if (r < 0) return;
  s.Detach(u);
  s.Refresh(r);
  s.CollectUnassigned();
}

std::vector<int32_t> InsertPaying(LsSolution& s, const LsObjective& objective, double margin,
                                  const Neighbours* neighbours) {
  std::vector<int32_t> changed;
  const LocalModel& model = s.model();
  if (!model.has_optional()) return changed;
  for (int32_t v : std::vector<int32_t>(s.unassigned())) {
    if (!model.IsOptional(v)) continue;
    const InsertionSpot spot =
        neighbours != nullptr ? NearInsertion(s, objective, *neighbours, v) : CheapestInsertion(s, objective, v);
    if (spot.route < 0 || !(spot.delta + margin < model.left_out_penalty(v))) continue;
    InsertAt(s, v, spot);
    if (std::find(changed.begin(), changed.end(), spot.route) == changed.end()) changed.push_back(spot.route);
  }
  if (!changed.empty()) s.CollectUnassigned();
  return changed;
}

std::vector<int32_t> SwitchFinalDepots(LsSolution& s, const LsObjective& objective, double margin) {
  std::vector<int32_t> changed;
  const LocalModel& model = s.model();
  if (model.return_to_end()) return changed;
  for (int32_t r = 0; r < s.num_routes(); ++r) {
    const LsRoute& route = s.route(r);
    const int32_t other = route.path.back() == model.end(r) ? model.start(r) : model.end(r);
    if (other == route.path.back()) continue;
    const double cost = RouteBuilder(s, r).Prefix(route, route.last() - 1).Node(other).Cost();
    if (!(cost < kLsInfinity) || !(objective.Delta(s, r, cost, -1, 0.0) + margin < 0.0)) continue;
    s.SetFinalDepot(r, other);
    changed.push_back(r);
  }
  return changed;
}

}  // namespace quarn
