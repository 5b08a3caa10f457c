#pragma once

#include <string>
#include <vector>

#include "plugins/default_constraint_checker.h"
#include "rules/route_rules.h"

namespace quarn {

// Per-agent limit on the demand a route serves, read from the label's loads
// (kept by the search while capacities are enforced); the assignment and
// dead-end rules come from the default checker inside.
class CapacityConstraintChecker : public ConstraintCheckerPlugin {
 public:
  CapacityConstraintChecker() = default;

  std::string Name() const override { return "CapacityConstraintChecker"; }
  void Init(const PlannerGraph* graph, const std::vector<Point>& points,
            const std::vector<AgentEntry>& agents) override;
  bool IsForbidden(int32_t agent, int32_t node) const override;
  ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t node) const override;
  // Infeasible when the agent's load exceeds its capacity, or when the demand
  // still unserved exceeds the room the unfinished agents have left together.
  BudgetCheck CheckBudget(const Label& child, int32_t agent) const override;
  bool IsDeadEnd(const Label& child) const override;

  void SetEnds(const std::vector<int32_t>& ends) { inner_.SetEnds(ends); }
  // The rules whose demands and capacities are checked; kept alive by the caller.
  void SetRouteRules(const RouteRules* rules);

 private:
  DefaultConstraintChecker inner_;
  const RouteRules* rules_ = nullptr;
  double total_demand_ = 0.0;  // of every target
};

}  // namespace quarn
