#include "rules/route_rules.h"

#include <algorithm>
#include <limits>

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

}  // namespace

void RouteRules::SetPoints(const std::vector<Point>& points) {
  points_ = points;
  CompileAdmission();
  CompileDemands();
}

void RouteRules::SetAgents(const std::vector<AgentEntry>& agents) {
  agents_ = agents;
  CompileAdmission();
}

void RouteRules::SetStarts(const std::vector<int32_t>& starts) {
  starts_ = starts;
  is_start_ = NodeFlags(starts_);
  CompileAdmission();
  CompileDemands();
}

void RouteRules::SetEnds(const std::vector<int32_t>& ends) {
  ends_ = ends;
  is_end_ = NodeFlags(ends_);
  CompileAdmission();
  CompileDemands();
}

void RouteRules::SetTimeWindows(const TimeWindowMap& windows) {
  windows_ = DenseTimeWindows(windows);
}

void RouteRules::SetEnforceCapacities(bool enforce) {
  enforce_capacities_ = enforce;
  CompileDemands();
}

// Only targets carry demand: a depot is loaded from, not delivered to.
void RouteRules::CompileDemands() {
  demands_.clear();
  if (!enforce_capacities_) return;
  demands_.assign(points_.size(), 0.0);
  for (size_t v = 0; v < points_.size(); ++v) {
    const auto node = static_cast<int32_t>(v);
    if (!IsStartDepot(node) && !IsEndDepot(node)) demands_[v] = points_[v].demand;
  }
}

void RouteRules::SetServices(const std::vector<double>& services) {
  services_ = services;
  has_services_ = false;
  for (size_t v = 0; v < services_.size(); ++v) {
    const auto node = static_cast<int32_t>(v);
    if (IsStartDepot(node) || IsEndDepot(node)) services_[v] = 0.0;
    has_services_ = has_services_ || services_[v] != 0.0;
  }
}

void RouteRules::CompileAdmission() {
  const size_t n = points_.size();
  admission_.assign(agents_.size() * n, 0);
  for (size_t a = 0; a < agents_.size(); ++a) {
    const bool has_start = a < starts_.size();
    const bool has_end = a < ends_.size();
    for (size_t v = 0; v < n; ++v) {
      const auto node = static_cast<int32_t>(v);
      const std::vector<int32_t>& types = points_[v].types;
      uint8_t bits = 0;
      // An agent without a type (-1) matches no list, since lists hold only real types.
      if (std::find(types.begin(), types.end(), agents_[a].type) != types.end()) bits |= kType;
      // The agent's own start and end are valid on its route whoever else uses them.
      const bool own = (has_start && starts_[a] == node) || (has_end && ends_[a] == node);
      const bool foreign_start = !starts_.empty() && IsStartDepot(node) && !own;
      const bool foreign_end = !ends_.empty() && IsEndDepot(node) && !own;
      if (!foreign_start && !foreign_end) bits |= kNoForeignDepot;
      admission_[a * n + v] = bits;
    }
  }
}

std::optional<double> RouteRules::Arc(int32_t from, int32_t to, int32_t type) const {
  if (table_ != nullptr) return table_->Arc(from, to, type);
  if (owns_table_) return own_table_.Arc(from, to, type);
  if (graph_ != nullptr) return ArcComponent(*graph_, from, to, type);
  if (coordinates_ != nullptr) return coordinates_->Arc(from, to, type);
  return std::nullopt;
}

double RouteRules::SearchTravel(int32_t from, int32_t to, int32_t agent) const {
  if (!has_costs() || from == to) return 0.0;
  const auto k = static_cast<size_t>(agent);
  if (k < starts_.size() && to == starts_[k]) return 0.0;
  if (!return_to_end_ && k < ends_.size() && to == ends_[k]) return 0.0;
  if (k >= agents_.size()) return 0.0;
  return Arc(from, to, agents_[k].type).value_or(0.0);
}

double RouteRules::RouteTravel(int32_t from, int32_t to, int32_t agent) const {
  if (!has_costs() || from == to) return 0.0;
  // Without return_to_end the way home is not part of the route.
  if (!return_to_end_ && (IsStartOf(agent, to) || IsEndOf(agent, to))) return 0.0;
  return Arc(from, to, agents_.at(static_cast<size_t>(agent)).type).value_or(0.0);
}

double RouteRules::RouteDistance(int32_t from, int32_t to, int32_t agent) const {
  if (distances_ == nullptr) return RouteTravel(from, to, agent);
  if (from == to) return 0.0;
  if (!return_to_end_ && (IsStartOf(agent, to) || IsEndOf(agent, to))) return 0.0;
  return distances_->Arc(from, to, agents_.at(static_cast<size_t>(agent)).type).value_or(0.0);
}

double RouteRules::DistanceOf(const std::vector<int32_t>& path, int32_t agent) const {
  double distance = 0.0;
  for (size_t p = 1; p < path.size(); ++p) distance += RouteDistance(path[p - 1], path[p], agent);
  return distance;
}

bool RouteRules::Depart(int32_t agent, double& out) const {
  const auto k = static_cast<size_t>(agent);
  if (k >= starts_.size()) {
    out = 0.0;
    return true;
  }
  return Arrive(starts_[k], 0.0, out);
}

bool RouteRules::EvaluateRoute(const std::vector<int32_t>& path, int32_t agent,
                               double& cost) const {
  cost = 0.0;
  if (path.empty()) return true;
  if (!starts_.empty() && path.front() != starts_.at(static_cast<size_t>(agent))) return false;
  const bool at_end = IsEndOf(agent, path.back());
  const bool at_start = IsStartOf(agent, path.back());
  if (!(at_end || (!return_to_end_ && at_start))) return false;

  const double limit = agents_.at(static_cast<size_t>(agent)).time_limit;
  const size_t last = path.size() - 1;
  double t = 0.0;
  double load = 0.0;
  for (size_t p = 0; p <= last; ++p) {
    const int32_t node = path[p];
    // The own start may only open the route or, without return_to_end, close it.
    if (IsStartOf(agent, node) && p != 0 && p != last) return false;
    if (!Admits(agent, node)) return false;
    if (p > 0) {
      // A paid leg over a missing cost is no arc; the free stop of an open route
      // at the agent's own depot travels nothing.
      const bool free_stop = !return_to_end_ && (IsStartOf(agent, node) || IsEndOf(agent, node));
      const int32_t type = agents_.at(static_cast<size_t>(agent)).type;
      const std::optional<double> arc = Arc(path[p - 1], node, type);
      if (!free_stop && path[p - 1] != node && arc && *arc >= missing_cost_) return false;
      t += RouteTravel(path[p - 1], node, agent);
    }
    if (!Serve(node, t, t)) return false;
    // The clock counts from time 0 at the start, the wait there included; the
    // limit holds once the node's service is done.
    if (limit > 0.0 && t > limit) return false;
    if (enforce_capacities_) load += Demand(node);
  }
  if (enforce_capacities_ && !WithinCapacity(agent, load)) return false;
  if (!sequence_.empty() && sequence_.BrokenWithin(path) >= 0) return false;
  cost = t;
  return true;
}

LinkedTiming RouteRules::ScheduleRoutes(const std::vector<const std::vector<int32_t>*>& paths) const {
  struct Window {
    const RouteRules& rules;
    double earliest(int32_t v) const { return rules.windows_.Bounds(v).first; }
    double latest(int32_t v) const { return rules.windows_.Bounds(v).second; }
    double service(int32_t v) const { return rules.Service(v); }
  };
  const double kInf = std::numeric_limits<double>::infinity();
  auto travel = [this, kInf](int32_t r, int32_t u, int32_t v) {
    const bool free_stop = !return_to_end_ && (IsStartOf(r, v) || IsEndOf(r, v));
    const std::optional<double> arc = Arc(u, v, agents_.at(static_cast<size_t>(r)).type);
    if (!free_stop && u != v && arc && *arc >= missing_cost_) return kInf;
    return RouteTravel(u, v, r);
  };
  auto admits = [this](int32_t r, int32_t v) { return Admits(r, v); };
  return sequence_.Schedule(paths, travel, admits, Window{*this});
}

}  // namespace quarn
