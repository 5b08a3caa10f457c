#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "graph/dense_cost_table.h"
#include "graph/planner_graph.h"
#include "records/agent_entry.h"
#include "records/point.h"
#include "records/time_window_map.h"

namespace quarn {

// Tolerance of every cost comparison the post-optimizers make.
constexpr double kPostOptEpsilon = 1e-9;

// The route rules both post-optimizers share: which node sequences an agent may
// drive, what they cost, and the 2-opt improvement that keeps them valid.
// Holds the solver's configuration (setters) and the tables of the current call.
class RouteValidator {
 public:
  void SetReturnToEnd(bool return_to_end) { return_to_end_ = return_to_end; }
  void SetStarts(const std::vector<int32_t>& starts);
  void SetEnds(const std::vector<int32_t>& ends);
  void SetTimeWindows(const TimeWindowMap& windows);

  // Takes the tables of one Optimize call; the graph is not owned and may be null.
  void Load(const PlannerGraph* graph, const std::vector<Point>& points,
            const std::vector<AgentEntry>& agents);

  // True when `agent` may drive `path`; `cost` is then its arrival time at the
  // last node (waiting included). `cost` is 0.0 whenever the path is invalid.
  bool EvaluatePath(const std::vector<int32_t>& path, int32_t agent, double& cost) const;
  // EvaluatePath's cost, or 0.0 with a "[post-opt]" message for an invalid path.
  double PathCost(const std::vector<int32_t>& path, int32_t agent) const;
  double PathCost(const std::vector<int32_t>& path, int32_t agent, bool& valid) const;
  // Whether agent k may take node x at all: its type and the depot rules.
  bool CanServe(int32_t agent, int32_t node) const;
  // First-improvement 2-opt with fixed ends; `cost` is the route's current cost.
  // True when the path was replaced (every replacement passed EvaluatePath).
  bool TwoOpt(std::vector<int32_t>& path, double& cost, int32_t agent) const;

  const std::vector<AgentEntry>& agents() const { return agents_; }
  const std::vector<Point>& points() const { return points_; }
  bool return_to_end() const { return return_to_end_; }

 private:
  bool NodeAllowed(int32_t node, size_t position, size_t last, int32_t agent) const;
  bool Arrive(int32_t node, double t, double& out) const;
  double TravelTime(int32_t from, int32_t to, int32_t agent) const;
  bool IsStartOf(int32_t agent, int32_t node) const;
  bool IsEndOf(int32_t agent, int32_t node) const;
  bool TypeAllowed(int32_t agent, int32_t node) const;

  // Travel along a path's arcs and along the same arcs driven backwards, summed
  // from the start: what any 2-opt reversal of the path must at least cost.
  struct TravelSums {
    std::vector<double> forward;
    std::vector<double> backward;
    double magnitude = 0.0;  // sum of the absolute arc costs
  };
  void MeasureTravel(const std::vector<int32_t>& path, int32_t agent, TravelSums& sums) const;
  double ReversalLowerBound(const std::vector<int32_t>& path, int32_t agent,
                            const TravelSums& sums, size_t i, size_t j) const;

  bool return_to_end_ = false;
  bool has_time_windows_ = false;
  TimeWindowMap windows_;
  std::vector<int32_t> starts_;
  std::vector<int32_t> ends_;
  std::unordered_set<int32_t> start_set_;
  std::unordered_set<int32_t> end_set_;

  const PlannerGraph* graph_ = nullptr;
  std::vector<Point> points_;
  std::vector<AgentEntry> agents_;
  DenseCostTable arc_costs_;  // the graph's costs, read once per call
};

}  // namespace quarn
