#include "plugins/time_limit_constraint_checker.h"

namespace quarn {

void TimeLimitConstraintChecker::Init(const PlannerGraph* graph, const std::vector<Point>& points,
                                      const std::vector<AgentEntry>& agents) {
  inner_.Init(graph, points, agents);
  agents_ = agents;
}

bool TimeLimitConstraintChecker::IsForbidden(int32_t agent, int32_t node) const {
  return inner_.IsForbidden(agent, node);
}

ArrivalCheck TimeLimitConstraintChecker::CheckArrival(const Label&, int32_t, int32_t) const {
  return ArrivalCheck{};
}

BudgetCheck TimeLimitConstraintChecker::CheckBudget(const Label& child, int32_t agent) const {
  const double limit = agents_[agent].time_limit;
  if (limit <= 0.0) return BudgetCheck{true};
  return BudgetCheck{!(child.costs[agent] > limit)};
}

bool TimeLimitConstraintChecker::IsDeadEnd(const Label& child) const {
  return inner_.IsDeadEnd(child);
}

}  // namespace quarn
