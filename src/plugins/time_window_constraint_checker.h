#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/dense_cost_table.h"
#include "plugins/default_constraint_checker.h"
#include "records/time_window_map.h"

namespace quarn {

// Time windows with waiting. Besides the arrival itself it rejects a move that
// a detour through another node would dominate, and a state in which some
// unvisited node can no longer be reached in its window by any agent.
class TimeWindowConstraintChecker : public ConstraintCheckerPlugin {
 public:
  TimeWindowConstraintChecker() = default;

  std::string Name() const override { return "TimeConstraintChecker"; }
  void Init(const PlannerGraph* graph, const std::vector<Point>& points,
            const std::vector<AgentEntry>& agents) override;
  bool IsForbidden(int32_t agent, int32_t node) const override;
  // Feasible with the waiting time when the agent had to wait at the node.
  ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t node) const override;
  BudgetCheck CheckBudget(const Label& child, int32_t agent) const override;
  bool IsDeadEnd(const Label& child) const override;

  void SetEnds(const std::vector<int32_t>& ends);
  void SetStarts(const std::vector<int32_t>& starts);
  void SetTimeWindows(const TimeWindowMap& windows) { windows_ = DenseTimeWindows(windows); }
  void SetReturnToEnd(bool return_to_end) { return_to_end_ = return_to_end; }
  // Costs of the graph given to Init, read instead of it; null reads the graph.
  void SetArcTable(const DenseCostTable* table) { arc_table_ = table; }

 private:
  double TravelTime(int32_t from, int32_t to, int32_t agent) const;
  bool DetourDominates(const Label& child, int32_t agent, int32_t from, int32_t node,
                       double arrival) const;
  bool IsDetourCandidate(const Label& child, int32_t agent, int32_t from, int32_t node,
                         int32_t w) const;
  bool SomeNodeLost(const Label& child, int32_t agent, int32_t node, double arrival) const;
  bool CanCover(const Label& child, int32_t k, int32_t s, int32_t agent, int32_t node,
                double arrival) const;

  DefaultConstraintChecker inner_;
  DenseTimeWindows windows_;
  const PlannerGraph* graph_ = nullptr;
  const DenseCostTable* arc_table_ = nullptr;
  std::vector<Point> points_;
  std::vector<AgentEntry> agents_;
  std::vector<int32_t> ends_;
  std::vector<int32_t> starts_;
  std::vector<uint8_t> is_end_;    // by node index: 1 for an end node of some agent
  std::vector<uint8_t> is_start_;  // by node index: 1 for a start node of some agent
  bool return_to_end_ = false;
  uint64_t num_agents_ = 0;
};

}  // namespace quarn
