#include "plugins/composite_constraint_checker.h"

#include <utility>

namespace quarn {

void CompositeConstraintChecker::Init(const PlannerGraph* graph, const std::vector<Point>& points,
                                      const std::vector<AgentEntry>& agents) {
  for (const auto& child : children_) child->Init(graph, points, agents);
}

bool CompositeConstraintChecker::IsForbidden(int32_t agent, int32_t node) const {
  for (const auto& child : children_) {
    if (child->IsForbidden(agent, node)) return true;
  }
  return false;
}

ArrivalCheck CompositeConstraintChecker::CheckArrival(const Label& child, int32_t agent,
                                                      int32_t node) const {
  Label corrected = child;  // later checkers must see the waiting earlier ones imposed
  bool corrected_time = false;
  for (const auto& checker : children_) {
    ArrivalCheck check = checker->CheckArrival(corrected, agent, node);
    if (!check.feasible) return check;
    if (check.time) {
      corrected.costs[agent] = *check.time;
      corrected_time = true;
    }
  }
  ArrivalCheck result;
  if (corrected_time) result.time = corrected.costs[agent];
  return result;
}

BudgetCheck CompositeConstraintChecker::CheckBudget(const Label& child, int32_t agent) const {
  for (const auto& checker : children_) {
    if (!checker->CheckBudget(child, agent).feasible) return BudgetCheck{false};
  }
  return BudgetCheck{true};
}

bool CompositeConstraintChecker::IsDeadEnd(const Label& child) const {
  for (const auto& checker : children_) {
    if (checker->IsDeadEnd(child)) return true;
  }
  return false;
}

void CompositeConstraintChecker::AddChild(std::unique_ptr<ConstraintCheckerPlugin> child) {
  children_.push_back(std::move(child));
}

}  // namespace quarn
