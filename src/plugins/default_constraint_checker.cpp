#include "plugins/default_constraint_checker.h"

#include <algorithm>

namespace quarn {

void DefaultConstraintChecker::Init(const PlannerGraph* graph, const std::vector<Point>& points,
                                    const std::vector<AgentEntry>& agents) {
  graph_ = graph;
  // The answers never change after Init, and the search asks for them at every expansion.
  admission_.SetPoints(points);
  admission_.SetAgents(agents);
  type_zero_only_.assign(points.size(), 0);
  const std::vector<int32_t> type_zero_only{0};
  for (size_t v = 0; v < points.size(); ++v) {
    type_zero_only_[v] = points[v].types == type_zero_only ? 1 : 0;
  }
}

bool DefaultConstraintChecker::IsForbidden(int32_t agent, int32_t node) const {
  // Indices outside the tables are never valid moves.
  return !admission_.TypeAllows(agent, node);
}

ArrivalCheck DefaultConstraintChecker::CheckArrival(const Label&, int32_t, int32_t) const {
  return ArrivalCheck{};
}

BudgetCheck DefaultConstraintChecker::CheckBudget(const Label&, int32_t) const {
  return BudgetCheck{};
}

bool DefaultConstraintChecker::AnyTypeZeroAgentActive(const Label& label) const {
  const std::vector<AgentEntry>& agents = admission_.agents();
  const size_t n = std::min<size_t>(agents.size(), label.finished.size());
  for (size_t a = 0; a < n; ++a) {
    if (agents[a].type == 0 && label.finished[a] == 0) return true;
  }
  return false;
}

bool DefaultConstraintChecker::IsDeadEnd(const Label& child) const {
  if (AnyTypeZeroAgentActive(child)) return false;
  const uint64_t points = type_zero_only_.size();
  uint64_t n = graph_ != nullptr ? graph_->NumVertex() : points;
  n = std::min<uint64_t>({n, points, VisitedSet::kCapacity});
  for (uint64_t v = 0; v < n; ++v) {
    const auto node = static_cast<int32_t>(v);
    if (type_zero_only_[v] != 0 && !child.visited.test(node)) return true;
  }
  return false;
}

}  // namespace quarn
