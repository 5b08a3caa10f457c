#include "plugins/default_constraint_checker.h"

#include <algorithm>

namespace quarn {

void DefaultConstraintChecker::Init(const PlannerGraph* graph, const std::vector<Point>& points,
                                    const std::vector<AgentEntry>& agents) {
  graph_ = graph;
  // The answers never change after Init, and the search asks for them at every expansion.
  admission_.SetPoints(points);
  admission_.SetAgents(agents);
  // Per agent, the nodes its type may visit, as visited-set words, so a dead end
  // costs a few word operations per agent.
  const size_t n = std::min<size_t>(points.size(), VisitedSet::kCapacity);
  admitted_.assign(agents.size(), Words{});
  for (size_t a = 0; a < agents.size(); ++a) {
    for (size_t v = 0; v < n; ++v) {
      if (admission_.TypeAllows(static_cast<int32_t>(a), static_cast<int32_t>(v))) {
        admitted_[a][v >> 6] |= uint64_t{1} << (v & 63);
      }
    }
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

// A node left unvisited that no unfinished agent may visit is never visited.
bool DefaultConstraintChecker::IsDeadEnd(const Label& child) const {
  const uint64_t points = admission_.num_nodes();
  uint64_t n = graph_ != nullptr ? graph_->NumVertex() : points;
  n = std::min<uint64_t>({n, points, VisitedSet::kCapacity});
  Words open{};
  for (size_t w = 0; w * 64 < n; ++w) {
    open[w] = ~child.visited.words[w];
    if (n - w * 64 < 64) open[w] &= (uint64_t{1} << (n - w * 64)) - 1;
  }
  const size_t agents = std::min(admitted_.size(), child.finished.size());
  for (size_t a = 0; a < agents; ++a) {
    if (child.finished[a] != 0) continue;
    for (size_t w = 0; w < open.size(); ++w) open[w] &= ~admitted_[a][w];
  }
  return (open[0] | open[1] | open[2] | open[3]) != 0;
}

}  // namespace quarn
