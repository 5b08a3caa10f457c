#pragma once

#include <string>
#include <vector>

#include "plugins/default_constraint_checker.h"

namespace quarn {

// Per-agent limit on the accumulated cost (route length); the assignment and
// dead-end rules come from the default checker inside.
class TimeLimitConstraintChecker : public ConstraintCheckerPlugin {
 public:
  TimeLimitConstraintChecker() = default;

  std::string Name() const override { return "TimeLimitConstraintChecker"; }
  void Init(const PlannerGraph* graph, const std::vector<Point>& points,
            const std::vector<AgentEntry>& agents) override;
  bool IsForbidden(int32_t agent, int32_t node) const override;
  ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t node) const override;
  // Infeasible when the agent has a positive limit and its cost exceeds it (equal is allowed).
  BudgetCheck CheckBudget(const Label& child, int32_t agent) const override;
  bool IsDeadEnd(const Label& child) const override;

  void SetEnds(const std::vector<int32_t>& ends) { inner_.SetEnds(ends); }

 private:
  DefaultConstraintChecker inner_;
  std::vector<AgentEntry> agents_;
};

}  // namespace quarn
