#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "graph/coordinate_costs.h"
#include "graph/dense_cost_table.h"
#include "graph/planner_graph.h"
#include "model/missing_cost.h"
#include "records/agent_entry.h"
#include "records/point.h"
#include "records/time_window_map.h"
#include "rules/sequence_rules.h"

namespace quarn {

// What makes a route valid: which agent may take which node, its depots, the
// travel between nodes, windows with waiting, route-length limits and, when
// enforced, capacities. The solver
// compiles one per set-up; the time-window checker, route validation and the
// improvement phase all read that one.
class RouteRules {
 public:
  // Each setter recompiles the tables that depend on it.
  void SetPoints(const std::vector<Point>& points);
  void SetAgents(const std::vector<AgentEntry>& agents);
  void SetStarts(const std::vector<int32_t>& starts);
  void SetEnds(const std::vector<int32_t>& ends);
  void SetTimeWindows(const TimeWindowMap& windows);
  void SetReturnToEnd(bool return_to_end) { return_to_end_ = return_to_end; }
  // On: a route's total demand of the targets it serves is at most its agent's
  // capacity (0 or less: no limit). Off, demands and capacities are never read.
  void SetEnforceCapacities(bool enforce);
  // An arc cost at or above it is no arc to EvaluateRoute and the improvement phase.
  void SetMissingCost(double missing_cost) { missing_cost_ = missing_cost; }
  // Where the arc costs come from, most preferred first: a table the caller keeps
  // alive, a table of the rules' own, or a graph read through its interface.
  // Without any of them every travel costs 0.0.
  void SetCostTable(const DenseCostTable* table) { table_ = table; }
  void TakeCostTable(DenseCostTable table) {
    own_table_ = std::move(table);
    owns_table_ = true;
  }
  void SetGraph(const PlannerGraph* graph) { graph_ = graph; }
  // Last in preference: costs computed from positions, kept alive by the caller.
  void SetCoordinateCosts(const CoordinateCosts* costs) { coordinates_ = costs; }
  // Service durations by node index (call after SetStarts and SetEnds: a depot's
  // counts nothing); none set, every service is 0.
  void SetServices(const std::vector<double>& services);
  // Distances beside the arc costs, a table the caller keeps alive; without one
  // a route's distance is its travel.
  void SetDistanceTable(const DenseCostTable* table) { distances_ = table; }
  // The pair rules, enforced: every route is judged by the pairs it holds alone,
  // and ScheduleRoutes times a whole plan with the waits the pairs cause.
  void SetSequence(const std::vector<IndexPair>& pairs) { sequence_.Set(points_.size(), pairs); }
  const SequenceRules& sequence() const { return sequence_; }
  // Every route at once (paths[r] driven by agent r), as EvaluateRoute walks
  // one, with the plain pairs' waits; a late arrival counts as warp.
  LinkedTiming ScheduleRoutes(const std::vector<const std::vector<int32_t>*>& paths) const;
  void DropCosts() {
    table_ = nullptr;
    own_table_ = DenseCostTable();
    owns_table_ = false;
    graph_ = nullptr;
    coordinates_ = nullptr;
  }

  size_t num_nodes() const { return points_.size(); }
  size_t num_agents() const { return agents_.size(); }
  const std::vector<Point>& points() const { return points_; }
  const std::vector<AgentEntry>& agents() const { return agents_; }
  const std::vector<int32_t>& starts() const { return starts_; }
  const std::vector<int32_t>& ends() const { return ends_; }
  bool return_to_end() const { return return_to_end_; }
  double missing_cost() const { return missing_cost_; }
  bool has_costs() const {
    return table_ != nullptr || owns_table_ || graph_ != nullptr || coordinates_ != nullptr;
  }
  // The positions' costs when they are the source of every arc cost, else null.
  const CoordinateCosts* coordinate_costs() const {
    return table_ == nullptr && !owns_table_ && graph_ == nullptr ? coordinates_ : nullptr;
  }
  bool enforces_capacities() const { return enforce_capacities_; }

  // The demand a route serving `node` counts: 0 at depots, everywhere when
  // capacities are not enforced, and outside the tables.
  double Demand(int32_t node) const {
    return node >= 0 && static_cast<size_t>(node) < demands_.size() ? demands_[static_cast<size_t>(node)] : 0.0;
  }
  // The agent's capacity as enforced; 0 means no limit.
  double Capacity(int32_t agent) const {
    if (!enforce_capacities_ || agent < 0 || static_cast<size_t>(agent) >= agents_.size()) return 0.0;
    return std::max(agents_[static_cast<size_t>(agent)].capacity_limit, 0.0);
  }
  // A route of `agent` serving `load` in total keeps the capacity rule.
  bool WithinCapacity(int32_t agent, double load) const {
    const double capacity = Capacity(agent);
    return !(capacity > 0.0 && load > capacity);
  }
  bool has_services() const { return has_services_; }
  bool has_distances() const { return distances_ != nullptr; }
  const DenseCostTable* distance_table() const { return distances_; }
  double Service(int32_t node) const {
    return node >= 0 && static_cast<size_t>(node) < services_.size()
               ? services_[static_cast<size_t>(node)]
               : 0.0;
  }

  // Without a depot table no node is anybody's depot.
  bool IsStartOf(int32_t agent, int32_t node) const {
    return !starts_.empty() && starts_.at(static_cast<size_t>(agent)) == node;
  }
  bool IsEndOf(int32_t agent, int32_t node) const {
    return !ends_.empty() && ends_.at(static_cast<size_t>(agent)) == node;
  }
  // Some agent starts (ends) at the node.
  bool IsStartDepot(int32_t node) const { return Flagged(is_start_, node); }
  bool IsEndDepot(int32_t node) const { return Flagged(is_end_, node); }

  // The node's assignment admits the agent's type; false outside the tables.
  bool TypeAllows(int32_t agent, int32_t node) const { return Admission(agent, node) & kType; }
  // The type rule, and no depot of another agent that is not also the agent's own.
  bool Admits(int32_t agent, int32_t node) const {
    return Admission(agent, node) == (kType | kNoForeignDepot);
  }

  // The agent type's cost of the arc, or nothing where there is no arc.
  std::optional<double> Arc(int32_t from, int32_t to, int32_t type) const;
  // Travel as the search's checkers price a move: reaching the agent's own start,
  // or its end on open routes, costs nothing.
  double SearchTravel(int32_t from, int32_t to, int32_t agent) const;
  // Travel along a route as validation prices it: on open routes reaching either
  // of the agent's depots costs nothing.
  double RouteTravel(int32_t from, int32_t to, int32_t agent) const;
  // Arrival at `t`: `out` is the time after waiting; false once the window closed.
  bool Arrive(int32_t node, double t, double& out) const { return windows_.Apply(node, t, out); }
  // Arrive, wait for the window, serve: `out` is the time the agent may leave.
  bool Serve(int32_t node, double t, double& out) const {
    if (!Arrive(node, t, out)) return false;
    if (has_services_) out += Service(node);
    return true;
  }
  // The distance of a leg as RouteTravel prices its time: the free stops of
  // open routes cover none.
  double RouteDistance(int32_t from, int32_t to, int32_t agent) const;
  // The sum of the route's leg distances.
  double DistanceOf(const std::vector<int32_t>& path, int32_t agent) const;
  // Every agent stands at its start at time 0 and leaves once the start's window
  // has opened: `out` is that departure, false when the window closed before 0.
  // Without a depot table there is no start to wait at.
  bool Depart(int32_t agent, double& out) const;
  // True when `agent` may drive `path` (the walk starts at time 0 and waits for
  // the start's window, as Depart) and pays for no arc costing
  // missing_cost or more; `cost` is then the time it is done at the last node,
  // waiting and service included, and 0.0 whenever the path is invalid.
  // With capacities enforced the path's demand must fit the agent's capacity.
  bool EvaluateRoute(const std::vector<int32_t>& path, int32_t agent, double& cost) const;

 private:
  static constexpr uint8_t kType = 1;
  static constexpr uint8_t kNoForeignDepot = 2;

  static bool Flagged(const std::vector<uint8_t>& flags, int32_t node) {
    return node >= 0 && static_cast<size_t>(node) < flags.size() &&
           flags[static_cast<size_t>(node)] != 0;
  }
  uint8_t Admission(int32_t agent, int32_t node) const {
    if (agent < 0 || node < 0 || static_cast<size_t>(agent) >= agents_.size() ||
        static_cast<size_t>(node) >= points_.size()) {
      return 0;
    }
    return admission_[static_cast<size_t>(agent) * points_.size() + static_cast<size_t>(node)];
  }
  void CompileDepots();
  void CompileAdmission();
  void CompileDemands();

  std::vector<Point> points_;
  std::vector<AgentEntry> agents_;
  std::vector<int32_t> starts_;
  std::vector<int32_t> ends_;
  std::vector<uint8_t> is_start_;   // by node index
  std::vector<uint8_t> is_end_;
  std::vector<uint8_t> admission_;  // agent-major, kType | kNoForeignDepot bits
  DenseTimeWindows windows_;
  bool return_to_end_ = false;
  double missing_cost_ = kMissingCost;
  bool enforce_capacities_ = false;
  std::vector<double> demands_;  // by node; empty unless capacities are enforced
  const DenseCostTable* table_ = nullptr;
  DenseCostTable own_table_;
  bool owns_table_ = false;
  const PlannerGraph* graph_ = nullptr;
  const CoordinateCosts* coordinates_ = nullptr;
  std::vector<double> services_;  // by node index, 0 at depots
  bool has_services_ = false;
  const DenseCostTable* distances_ = nullptr;
  SequenceRules sequence_;
};

}  // namespace quarn
