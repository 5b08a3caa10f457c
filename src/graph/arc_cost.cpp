#include "graph/arc_cost.h"

namespace quarn {

std::optional<double> ArcComponent(const PlannerGraph& graph, int32_t u, int32_t v, int32_t type) {
  if (type < 0) return std::nullopt;
  CostVector costs = graph.GetArcCost(u, v);
  if (static_cast<uint64_t>(type) >= costs.size()) return std::nullopt;
  return costs[static_cast<size_t>(type)];
}

}  // namespace quarn
