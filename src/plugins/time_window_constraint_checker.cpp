#include "plugins/time_window_constraint_checker.h"

#include <algorithm>

#include "graph/arc_cost.h"

namespace quarn {
namespace {

// Membership flags of the non-negative node indices in `nodes`.
std::vector<uint8_t> NodeFlags(const std::vector<int32_t>& nodes) {
  std::vector<uint8_t> flags;
  for (int32_t node : nodes) {
    if (node < 0) continue;
    if (static_cast<size_t>(node) >= flags.size()) flags.resize(static_cast<size_t>(node) + 1, 0);
    flags[static_cast<size_t>(node)] = 1;
  }
  return flags;
}

// Only asked for node indices of the loops below, which are never negative.
bool Flagged(const std::vector<uint8_t>& flags, int32_t node) {
  return static_cast<size_t>(node) < flags.size() && flags[static_cast<size_t>(node)] != 0;
}

}  // namespace

void TimeWindowConstraintChecker::Init(const PlannerGraph* graph, const std::vector<Point>& points,
                                       const std::vector<AgentEntry>& agents) {
  inner_.Init(graph, points, agents);
  graph_ = graph;
  points_ = points;
  agents_ = agents;
  num_agents_ = agents_.size();
}

void TimeWindowConstraintChecker::SetEnds(const std::vector<int32_t>& ends) {
  inner_.SetEnds(ends);
  ends_ = ends;
  is_end_ = NodeFlags(ends_);
}

void TimeWindowConstraintChecker::SetStarts(const std::vector<int32_t>& starts) {
  starts_ = starts;
  is_start_ = NodeFlags(starts_);
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

double TimeWindowConstraintChecker::TravelTime(int32_t from, int32_t to, int32_t agent) const {
  if (graph_ == nullptr || from == to) return 0.0;
  const auto k = static_cast<size_t>(agent);
  if (k < starts_.size() && to == starts_[k]) return 0.0;
  // Without a return to the end node the agent stops there without travelling.
  if (!return_to_end_ && k < ends_.size() && to == ends_[k]) return 0.0;
  if (k >= agents_.size()) return 0.0;
  const int32_t type = agents_[k].type;
  if (arc_table_ != nullptr) return arc_table_->Arc(from, to, type).value_or(0.0);
  return ArcComponent(*graph_, from, to, type).value_or(0.0);
}

ArrivalCheck TimeWindowConstraintChecker::CheckArrival(const Label& child, int32_t agent,
                                                       int32_t node) const {
  const double cost = child.costs[agent];
  double arrival = cost;
  if (!windows_.Apply(node, cost, arrival)) return ArrivalCheck{false, std::nullopt};
  if (graph_ != nullptr) {
    const int32_t from = child.positions[agent];
    if (DetourDominates(child, agent, from, node, arrival)) return ArrivalCheck{false, std::nullopt};
    if (!points_.empty() && SomeNodeLost(child, agent, node, arrival)) {
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
  if (!ends_.empty() && Flagged(is_end_, w)) return false;
  return !(!starts_.empty() && Flagged(is_start_, w));
}

// True when some unvisited w could have been visited on the way without
// delaying the node, while visiting the node first makes w late or later.
bool TimeWindowConstraintChecker::DetourDominates(const Label& child, int32_t agent, int32_t from,
                                                  int32_t node, double arrival) const {
  const double departure = child.costs[agent] - TravelTime(from, node, agent);
  const auto n = static_cast<int32_t>(std::min<size_t>(points_.size(), VisitedSet::kCapacity));
  for (int32_t w = 0; w < n; ++w) {
    if (!IsDetourCandidate(child, agent, from, node, w)) continue;
    double at_w = 0.0;
    if (!windows_.Apply(w, TravelTime(from, w, agent) + departure, at_w)) continue;
    double via_w = 0.0;
    if (!windows_.Apply(node, TravelTime(w, node, agent) + at_w, via_w)) continue;
    if (arrival < via_w) continue;
    double w_after = 0.0;
    if (!windows_.Apply(w, TravelTime(node, w, agent) + arrival, w_after)) return true;
    if (w_after > via_w) return true;
  }
  return false;
}

bool TimeWindowConstraintChecker::CanCover(const Label& child, int32_t k, int32_t s, int32_t agent,
                                           int32_t node, double arrival) const {
  const auto idx = static_cast<size_t>(k);
  if (!ends_.empty() && idx < child.finished.size() && child.finished[idx] != 0) return false;
  if (inner_.IsForbidden(k, s)) return false;
  if (!ends_.empty()) {
    // An agent may always end its route at its own end node, whoever starts there.
    if (idx < ends_.size() && s == ends_[idx]) return true;
    if (Flagged(is_end_, s)) return false;
  }
  if (!starts_.empty() && Flagged(is_start_, s) && (idx >= starts_.size() || s != starts_[idx])) {
    return false;
  }
  const int32_t origin = k == agent ? node : child.positions[idx];
  const double time = k == agent ? arrival : child.costs[idx];
  double scratch = 0.0;
  return windows_.Apply(s, TravelTime(origin, s, k) + time, scratch);
}

// True when some unvisited node can no longer be reached in its window by any agent.
bool TimeWindowConstraintChecker::SomeNodeLost(const Label& child, int32_t agent, int32_t node,
                                               double arrival) const {
  const auto n = static_cast<int32_t>(std::min<size_t>(points_.size(), VisitedSet::kCapacity));
  const auto agents = static_cast<int32_t>(num_agents_);
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
