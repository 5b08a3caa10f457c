#include "plugins/capacity_constraint_checker.h"

#include <algorithm>
#include <cmath>

namespace quarn {

void CapacityConstraintChecker::Init(const PlannerGraph* graph, const std::vector<Point>& points,
                                     const std::vector<AgentEntry>& agents) {
  inner_.Init(graph, points, agents);
}

void CapacityConstraintChecker::SetRouteRules(const RouteRules* rules) {
  rules_ = rules;
  total_demand_ = 0.0;
  if (rules_ == nullptr) return;
  for (size_t v = 0; v < rules_->num_nodes(); ++v) total_demand_ += rules_->Demand(static_cast<int32_t>(v));
}

bool CapacityConstraintChecker::IsForbidden(int32_t agent, int32_t node) const {
  return inner_.IsForbidden(agent, node);
}

ArrivalCheck CapacityConstraintChecker::CheckArrival(const Label&, int32_t, int32_t) const {
  return ArrivalCheck{};
}

BudgetCheck CapacityConstraintChecker::CheckBudget(const Label& child, int32_t agent) const {
  if (rules_ == nullptr || child.loads.size() != child.finished.size()) return BudgetCheck{true};
  if (!rules_->WithinCapacity(agent, child.loads[static_cast<size_t>(agent)])) return BudgetCheck{false};
  // Every target is served once, so what the loads do not hold is still to serve.
  double unserved = total_demand_;
  double room = 0.0;
  for (size_t a = 0; a < child.loads.size(); ++a) {
    unserved -= child.loads[a];
    if (child.finished[a] != 0) continue;
    const double capacity = rules_->Capacity(static_cast<int32_t>(a));
    if (!(capacity > 0.0)) return BudgetCheck{true};  // an agent without a limit takes the rest
    room += std::max(capacity - child.loads[a], 0.0);
  }
  // The sums round differently from the loads themselves: a margin keeps the bound safe.
  const double margin = 1e-9 * std::max(1.0, std::abs(total_demand_));
  return BudgetCheck{!(unserved > room + margin)};
}

bool CapacityConstraintChecker::IsDeadEnd(const Label& child) const { return inner_.IsDeadEnd(child); }

}  // namespace quarn
