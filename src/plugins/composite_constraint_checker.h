#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugins/constraint_checker_plugin.h"

namespace quarn {

// Runs its children in order; any child's veto vetoes the move.
class CompositeConstraintChecker : public ConstraintCheckerPlugin {
 public:
  CompositeConstraintChecker() = default;

  std::string Name() const override { return "CompositeConstraintChecker"; }
  void Init(const PlannerGraph* graph, const std::vector<Point>& points,
            const std::vector<AgentEntry>& agents) override;
  bool IsForbidden(int32_t agent, int32_t node) const override;
  // Each child sees the agent's cost as corrected by the children before it.
  ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t node) const override;
  BudgetCheck CheckBudget(const Label& child, int32_t agent) const override;
  bool IsDeadEnd(const Label& child) const override;

  void AddChild(std::unique_ptr<ConstraintCheckerPlugin> child);
  const std::vector<std::unique_ptr<ConstraintCheckerPlugin>>& children() const { return children_; }

 private:
  std::vector<std::unique_ptr<ConstraintCheckerPlugin>> children_;
  mutable Label corrected_;  // scratch of CheckArrival, kept to reuse its storage
};

}  // namespace quarn
