#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/constraint_checker_plugin.h"
#include "rules/route_rules.h"

namespace quarn {

// Agent-type assignment and the rule that nodes reserved for type 0 need an
// unfinished type-0 agent.
class DefaultConstraintChecker : public ConstraintCheckerPlugin {
 public:
  DefaultConstraintChecker() = default;

  std::string Name() const override { return "DefaultConstraintChecker"; }
  void Init(const PlannerGraph* graph, const std::vector<Point>& points,
            const std::vector<AgentEntry>& agents) override;
  // True when the node admits no type or not the agent's type.
  bool IsForbidden(int32_t agent, int32_t node) const override;
  ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t node) const override;
  BudgetCheck CheckBudget(const Label& child, int32_t agent) const override;
  // True when every type-0 agent has finished but a node only type 0 may visit is unvisited.
  bool IsDeadEnd(const Label& child) const override;

  void SetEnds(const std::vector<int32_t>& ends) { ends_ = ends; }

 private:
  bool AnyTypeZeroAgentActive(const Label& label) const;

  const PlannerGraph* graph_ = nullptr;
  std::vector<int32_t> ends_;  // kept for the solver's hand-over; the checks do not read it
  RouteRules admission_;  // the tables of Init and their type rule, compiled once
  std::vector<uint8_t> type_zero_only_;  // 1 where only type 0 may visit the node
};

}  // namespace quarn
