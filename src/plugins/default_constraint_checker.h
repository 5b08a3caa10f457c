#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "plugins/constraint_checker_plugin.h"
#include "rules/route_rules.h"

namespace quarn {

// Agent-type assignment, and the rule that every node left unvisited needs an
// unfinished agent whose type may visit it.
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
  // True when some unvisited node admits the type of no unfinished agent.
  bool IsDeadEnd(const Label& child) const override;

  void SetEnds(const std::vector<int32_t>& ends) { ends_ = ends; }

 private:
  using Words = std::array<uint64_t, 4>;  // one bit per node, as in VisitedSet

  const PlannerGraph* graph_ = nullptr;
  std::vector<int32_t> ends_;  // kept for the solver's hand-over; the checks do not read it
  RouteRules admission_;  // the tables of Init and their type rule, compiled once
  std::vector<Words> admitted_;  // per agent, the nodes its type may visit
};

}  // namespace quarn
