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
  // Later checkers must see the waiting earlier ones imposed; the copy is made
  // only once some checker corrects the time, as most arrivals need no waiting.
  const Label* seen = &child;
  for (const auto& checker : children_) {
    ArrivalCheck check = checker->CheckArrival(*seen, agent, node);
    if (!check.feasible) return check;
    if (check.time) {
      if (seen == &child) {
        corrected_ = child;
        seen = &corrected_;
      }
      corrected_.costs[agent] = *check.time;
    }
  }
  ArrivalCheck result;
  if (seen != &child) result.time = corrected_.costs[agent];
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
