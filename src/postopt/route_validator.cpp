#include "postopt/route_validator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <iostream>
#include <utility>


namespace quarn {

void RouteValidator::SetStarts(const std::vector<int32_t>& starts) {
  starts_ = starts;
  start_set_ = std::unordered_set<int32_t>(starts.begin(), starts.end());
}

void RouteValidator::SetEnds(const std::vector<int32_t>& ends) {
  ends_ = ends;
  end_set_ = std::unordered_set<int32_t>(ends.begin(), ends.end());
}

void RouteValidator::SetTimeWindows(const TimeWindowMap& windows) {
  windows_ = windows;
  has_time_windows_ = !windows.empty();
}

void RouteValidator::Load(const PlannerGraph* graph, const std::vector<Point>& points,
                          const std::vector<AgentEntry>& agents) {
  graph_ = graph;
  points_ = points;
  agents_ = agents;
  // The graph hands out cost vectors by value, too slow for the inner loops of
  // 2-opt and insertion; the table is read once per call.
  arc_costs_ = graph == nullptr ? DenseCostTable() : DenseCostTable(*graph);
}

bool RouteValidator::EvaluatePath(const std::vector<int32_t>& path, int32_t agent,
                                  double& cost) const {
  cost = 0.0;
  if (path.empty()) return true;
  if (!starts_.empty() && path.front() != starts_.at(agent)) return false;
  const bool at_end = IsEndOf(agent, path.back());
  const bool at_start = IsStartOf(agent, path.back());
  if (!(at_end || (!return_to_end_ && at_start))) return false;

  const double limit = agents_.at(agent).time_limit;
  const size_t last = path.size() - 1;
  double t = 0.0;
  for (size_t p = 0; p <= last; ++p) {
    const int32_t node = path[p];
    if (!NodeAllowed(node, p, last, agent)) return false;
    if (p > 0) t += TravelTime(path[p - 1], node, agent);
    if (!Arrive(node, t, t)) return false;
    if (p > 0 && limit > 0.0 && t > limit) return false;
  }
  cost = t;
  return true;
}

double RouteValidator::PathCost(const std::vector<int32_t>& path, int32_t agent) const {
  bool valid = false;
  return PathCost(path, agent, valid);
}

double RouteValidator::PathCost(const std::vector<int32_t>& path, int32_t agent,
                                bool& valid) const {
  double cost = 0.0;
  valid = EvaluatePath(path, agent, cost);
  if (!valid) {
    std::cerr << "[post-opt] invalid path for agent " << agent << ", skip optimize" << std::endl;
  }
  return cost;
}

bool RouteValidator::CanServe(int32_t agent, int32_t node) const {
  if (!TypeAllowed(agent, node)) return false;
  if (!starts_.empty() && start_set_.count(node) > 0 && !IsStartOf(agent, node)) return false;
  if (!ends_.empty() && end_set_.count(node) > 0 && !IsEndOf(agent, node)) return false;
  return true;
}

bool RouteValidator::TwoOpt(std::vector<int32_t>& path, double& cost, int32_t agent) const {
  const size_t n = path.size();
  if (n < 4) return false;
  bool changed = false;
  bool improved = true;
  TravelSums sums;
  while (improved) {
    improved = false;
    MeasureTravel(path, agent, sums);
    for (size_t i = 1; i + 3 <= n && !improved; ++i) {
      for (size_t j = i + 1; j + 2 <= n && !improved; ++j) {
        // Skips only reversals the test below would refuse, so the result is that
        // of evaluating every one.
        if (!(cost > ReversalLowerBound(path, agent, sums, i, j) + kPostOptEpsilon)) continue;
        std::vector<int32_t> candidate = path;
        std::reverse(candidate.begin() + static_cast<std::ptrdiff_t>(i),
                     candidate.begin() + static_cast<std::ptrdiff_t>(j) + 1);
        double candidate_cost = 0.0;
        if (EvaluatePath(candidate, agent, candidate_cost) &&
            cost > candidate_cost + kPostOptEpsilon) {
          path = std::move(candidate);
          cost = candidate_cost;
          improved = true;  // first improvement: rescan from the start
          changed = true;
        }
      }
    }
  }
  return changed;
}

void RouteValidator::MeasureTravel(const std::vector<int32_t>& path, int32_t agent,
                                   TravelSums& sums) const {
  const size_t n = path.size();
  sums.forward.assign(n, 0.0);
  sums.backward.assign(n, 0.0);
  double magnitude = 0.0;
  for (size_t p = 1; p < n; ++p) {
    const double ahead = TravelTime(path[p - 1], path[p], agent);
    const double back = TravelTime(path[p], path[p - 1], agent);
    sums.forward[p] = sums.forward[p - 1] + ahead;
    sums.backward[p] = sums.backward[p - 1] + back;
    magnitude += std::abs(ahead) + std::abs(back);
  }
  sums.magnitude = magnitude;
}

double RouteValidator::ReversalLowerBound(const std::vector<int32_t>& path, int32_t agent,
                                          const TravelSums& sums, size_t i, size_t j) const {
  // path[0..i-1], then path[j] down to path[i], then path[j+1..]: every arc but
  // the two new ones is an arc of the path, driven forward or backward. Waiting
  // only adds to the arrival time, so its travel sum is a lower bound.
  const double last = sums.forward.back();
  const double join_front = TravelTime(path[i - 1], path[j], agent);
  const double join_back = TravelTime(path[i], path[j + 1], agent);
  const double travel = sums.forward[i - 1] + join_front + (sums.backward[j] - sums.backward[i]) +
                        join_back + (last - sums.forward[j + 1]);
  // Far above the rounding of these sums and of EvaluatePath's own (a few
  // hundred additions of at most these magnitudes), far below any cost
  // difference that matters. A non-finite cost makes the bound useless, not wrong.
  const double magnitude = sums.magnitude + std::abs(join_front) + std::abs(join_back);
  if (!std::isfinite(magnitude)) return -std::numeric_limits<double>::infinity();
  return travel - (magnitude * 1e-11 + 1e-300);
}

bool RouteValidator::NodeAllowed(int32_t node, size_t position, size_t last,
                                 int32_t agent) const {
  // The own start may only open the route or, without return_to_end, close it.
  if (IsStartOf(agent, node) && position != 0 && position != last) return false;
  if (!TypeAllowed(agent, node)) return false;
  if (!starts_.empty() && start_set_.count(node) > 0 && !IsStartOf(agent, node)) return false;
  if (!ends_.empty() && end_set_.count(node) > 0 && !IsEndOf(agent, node)) return false;
  return true;
}

bool RouteValidator::Arrive(int32_t node, double t, double& out) const {
  if (!has_time_windows_) {
    out = t;
    return true;
  }
  return ApplyWindow(windows_, node, t, out);
}

double RouteValidator::TravelTime(int32_t from, int32_t to, int32_t agent) const {
  if (graph_ == nullptr || from == to) return 0.0;
  // Without return_to_end the way home is not part of the route.
  if (!return_to_end_ && (IsStartOf(agent, to) || IsEndOf(agent, to))) return 0.0;
  return arc_costs_.Arc(from, to, agents_.at(agent).type).value_or(0.0);
}

bool RouteValidator::IsStartOf(int32_t agent, int32_t node) const {
  return !starts_.empty() && starts_.at(agent) == node;
}

bool RouteValidator::IsEndOf(int32_t agent, int32_t node) const {
  return !ends_.empty() && ends_.at(agent) == node;
}

bool RouteValidator::TypeAllowed(int32_t agent, int32_t node) const {
  // An agent without a type (-1) matches no list, since lists hold only real types.
  const std::vector<int32_t>& types = points_.at(node).types;
  return std::find(types.begin(), types.end(), agents_.at(agent).type) != types.end();
}

}  // namespace quarn
