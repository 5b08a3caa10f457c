#include "plugins/time_window_constraint_checker.h"

#include <algorithm>

namespace quarn {

void TimeWindowConstraintChecker::Init(const PlannerGraph* graph, const std::vector<Point>& points,
                                       const std::vector<AgentEntry>& agents) {
  inner_.Init(graph, points, agents);
  graph_ = graph;
  own_rules_.SetPoints(points);
  own_rules_.SetAgents(agents);
  own_rules_.SetGraph(graph);
}

void TimeWindowConstraintChecker::SetEnds(const std::vector<int32_t>& ends) {
  inner_.SetEnds(ends);
  own_rules_.SetEnds(ends);
}

bool TimeWindowConstraintChecker::IsForbidden(int32_t agent, int32_t node) const {
  return inner_.IsForbidden(agent, node);
}

BudgetCheck TimeWindowConstraintChecker::CheckBudget(const Label&, int32_t) const {
  return BudgetCheck{};
}

bool TimeWindowConstraintChecker::IsDeadEnd(const Label& child) const {
  return inner_.IsDeadEnd(child);
}

ArrivalCheck TimeWindowConstraintChecker::CheckArrival(const Label& child, int32_t agent,
                                                       int32_t node) const {
  const double cost = child.costs[agent];
  double arrival = cost;
  if (!rules().Arrive(node, cost, arrival)) return ArrivalCheck{false, std::nullopt};
  if (graph_ != nullptr) {
    const int32_t from = child.positions[agent];
    if (DetourDominates(child, agent, from, node, arrival)) return ArrivalCheck{false, std::nullopt};
    // The agent leaves the node once served; the search adds the service itself.
    double leaving = arrival;
    if (rules().has_services()) leaving += rules().Service(node);
    if (own_rules_.num_nodes() != 0 && SomeNodeLost(child, agent, node, leaving)) {
      return ArrivalCheck{false, std::nullopt};
    }
  }
  ArrivalCheck result;
  if (arrival != cost) result.time = arrival;  // the agent waited for the window to open
  return result;
}

bool TimeWindowConstraintChecker::IsDetourCandidate(const Label& child, int32_t agent, int32_t from,
                                                    int32_t node, int32_t w) const {
  if (w == node || w == from || child.visited.test(w)) return false;
  if (inner_.IsForbidden(agent, w)) return false;
  // No end node is a detour: another agent's is never entered, and entering
  // the agent's own ends its route, so it cannot lie on the way to the node.
  const RouteRules& r = rules();
  if (!r.ends().empty() && r.IsEndDepot(w)) return false;
  // Served on the way, w would load this agent where another may have served it.
  if (r.Demand(w) > 0.0 && r.Capacity(agent) > 0.0) return false;
  return !(!r.starts().empty() && r.IsStartDepot(w));
}

// True when some unvisited w could have been visited on the way without
// delaying the node, while visiting the node first makes w late or later.
bool TimeWindowConstraintChecker::DetourDominates(const Label& child, int32_t agent, int32_t from,
                                                  int32_t node, double arrival) const {
  const double departure = child.costs[agent] - TravelTime(from, node, agent);
  const RouteRules& r = rules();
  const auto n =
      static_cast<int32_t>(std::min<uint64_t>(own_rules_.num_nodes(), VisitedSet::kCapacity));
  for (int32_t w = 0; w < n; ++w) {
    if (!IsDetourCandidate(child, agent, from, node, w)) continue;
    double at_w = 0.0;
    if (!r.Serve(w, TravelTime(from, w, agent) + departure, at_w)) continue;
    double via_w = 0.0;
    if (!r.Arrive(node, TravelTime(w, node, agent) + at_w, via_w)) continue;
    if (arrival < via_w) continue;
    double w_after = 0.0;
    double leaving = arrival;
    if (r.has_services()) leaving += r.Service(node);
    if (!r.Arrive(w, TravelTime(node, w, agent) + leaving, w_after)) return true;
    if (w_after > via_w) return true;
  }
  return false;
}

bool TimeWindowConstraintChecker::CanCover(const Label& child, int32_t k, int32_t s, int32_t agent,
                                           int32_t node, double arrival) const {
  const auto idx = static_cast<size_t>(k);
  const RouteRules& r = rules();
  const std::vector<int32_t>& ends = r.ends();
  const std::vector<int32_t>& starts = r.starts();
  if (!ends.empty() && idx < child.finished.size() && child.finished[idx] != 0) return false;
  if (inner_.IsForbidden(k, s)) return false;
  if (!ends.empty()) {
    // An agent may always end its route at its own end node, whoever starts there.
    if (idx < ends.size() && s == ends[idx]) return true;
    if (r.IsEndDepot(s)) return false;
  }
  if (!starts.empty() && r.IsStartDepot(s) && (idx >= starts.size() || s != starts[idx])) {
    return false;
  }
  const int32_t origin = k == agent ? node : child.positions[idx];
  const double time = k == agent ? arrival : child.costs[idx];
  double scratch = 0.0;
  return r.Arrive(s, TravelTime(origin, s, k) + time, scratch);
}

// True when some unvisited node can no longer be reached in its window by any agent.
bool TimeWindowConstraintChecker::SomeNodeLost(const Label& child, int32_t agent, int32_t node,
                                               double arrival) const {
  const auto n =
      static_cast<int32_t>(std::min<uint64_t>(own_rules_.num_nodes(), VisitedSet::kCapacity));
  const auto agents = static_cast<int32_t>(own_rules_.num_agents());
  for (int32_t s = 0; s < n; ++s) {
    if (child.visited.test(s)) continue;
    bool covered = false;
    for (int32_t k = 0; k < agents && !covered; ++k) {
      covered = CanCover(child, k, s, agent, node, arrival);
    }
    if (!covered) return true;
  }
  return false;
}

}  // namespace quarn
