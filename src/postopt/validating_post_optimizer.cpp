#include "postopt/validating_post_optimizer.h"

namespace quarn {

void ValidatingPostOptimizer::Load(const PlannerGraph* graph, const std::vector<Point>& points,
                                   const std::vector<AgentEntry>& agents) {
  if (shared_rules_ != nullptr) {
    validator_.Use(shared_rules_);
    return;
  }
  own_rules_.SetPoints(points);
  own_rules_.SetAgents(agents);
  // The graph hands out cost vectors by value, too slow for the inner loops of
  // 2-opt and insertion; the table is read once per call.
  if (graph != nullptr) {
    own_rules_.TakeCostTable(DenseCostTable(*graph));
  } else {
    own_rules_.DropCosts();
  }
  validator_.Use(&own_rules_);
}

std::vector<WorkingRoute> ValidatingPostOptimizer::LoadEvaluated(const Result& result) const {
  std::vector<WorkingRoute> routes = LoadRoutes(result, validator_.agents().size());
  for (WorkingRoute& route : routes) {
    route.valid = validator_.EvaluatePath(route.path, route.agent, route.cost);
  }
  return routes;
}

}  // namespace quarn
