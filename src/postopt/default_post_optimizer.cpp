#include "postopt/default_post_optimizer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "postopt/route_edit.h"

namespace quarn {

namespace {

// The lookup failure is an internal inconsistency: report it and let the host decide.
[[noreturn]] void ThrowNoGroup(int32_t type, const std::string& context,
                               const Diagnostics& diagnostics) {
  const std::string message = "Error: no group with type " + std::to_string(type) + context;
  diagnostics.Err(message);
  throw std::runtime_error(message);
}

bool Contains(const std::vector<int32_t>& values, int32_t value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

}  // namespace

void DefaultPostOptimizer::Optimize(const PlannerGraph* graph, const std::vector<Point>& points,
                                    const std::vector<AgentEntry>& agents, Result& result) {
  groups_.clear();
  group_types_.clear();
  Load(graph, points, agents);
  BuildRoutes(result);
  for (int32_t type : group_types_) ImproveWithinGroup(type);
  BalanceGroups();
  WriteBack(routes_, result);
}

void DefaultPostOptimizer::BuildRoutes(Result& result) {
  routes_ = LoadRoutes(result, validator_.agents().size());  // a missing route is empty
  for (WorkingRoute& route : routes_) {
    route.cost = validator_.PathCost(route.path, route.agent, route.valid);
    AddToGroup(route.agent, route.cost);
  }
}

void DefaultPostOptimizer::AddToGroup(int32_t agent, double cost) {
  const int32_t type = validator_.agents()[static_cast<size_t>(agent)].type;
  auto it = groups_.find(type);
  if (it == groups_.end()) {
    groups_.emplace(type, AgentGroup{1, type, agent, agent, {agent}});
    group_types_.push_back(type);
    return;
  }
  AgentGroup& group = it->second;
  group.members.push_back(agent);
  ++group.count;
  if (cost > routes_[static_cast<size_t>(group.longest)].cost) {
    group.longest = agent;
  } else if (routes_[static_cast<size_t>(group.shortest)].cost > cost) {
    group.shortest = agent;
  }
}

void DefaultPostOptimizer::ImproveWithinGroup(int32_t type) {
  const AgentGroup& group = GroupOf(type, " to InGroup optimize !");
  const auto expired = [this] { return Expired(); };
  for (int32_t m : group.members) {
    WorkingRoute& route = routes_[static_cast<size_t>(m)];
    const double cost = validator_.PathCost(route.path, m);
    if (std::isfinite(cost)) {
      route.cost = cost;
      if (validator_.TwoOpt(route.path, route.cost, m, expired)) route.valid = true;
    }
    const double limit = validator_.agents()[static_cast<size_t>(m)].time_limit;
    if (!std::isfinite(route.cost) || (limit > 0.0 && route.cost > limit)) {
      diagnostics_.Err("[post-opt] path invalid or over capacity, skip agent ", m);
    }
  }
  RefreshGroupExtremes(type);
  const RelocationMove move = BestRelocation(type, type);
  if (move.gain > 0.0) {
    const AgentGroup& refreshed = GroupOf(type);
    RelocateMove(routes_[static_cast<size_t>(refreshed.longest)],
                 routes_[static_cast<size_t>(refreshed.shortest)], move.i, move.j);
    RefreshGroupExtremes(type);
  }
}

void DefaultPostOptimizer::BalanceGroups() {
  // Every move must gain, so the loop ends; the cap and the clock make sure it
  // does even if rounding let a gain repeat.
  const size_t max_moves = 64 * validator_.points().size() + 64;
  for (size_t moves = 0; moves < max_moves && !group_types_.empty() && !Expired(); ++moves) {
    // Seeded with the first type, so negative costs still pick a type.
    int32_t t_max = group_types_.front();
    int32_t t_min = t_max;
    double max_cost = routes_[static_cast<size_t>(GroupOf(t_max).longest)].cost;
    double min_cost = max_cost;
    for (size_t k = 1; k < group_types_.size(); ++k) {
      const int32_t type = group_types_[k];
      const double cost = routes_[static_cast<size_t>(GroupOf(type).longest)].cost;
      if (cost > max_cost) {
        max_cost = cost;
        t_max = type;
      }
      if (cost < min_cost) {
        min_cost = cost;
        t_min = type;
      }
    }
    if (t_max == t_min) return;
    const RelocationMove move = BestRelocation(t_max, t_min);
    if (move.gain <= 0.0) return;
    RelocateMove(routes_[static_cast<size_t>(GroupOf(t_max).longest)],
                 routes_[static_cast<size_t>(GroupOf(t_min).shortest)], move.i, move.j);
    RefreshGroupExtremes(t_max);
    RefreshGroupExtremes(t_min);
  }
}

RelocationMove DefaultPostOptimizer::BestRelocation(int32_t from_type, int32_t to_type) const {
  RelocationMove move;
  const int32_t donor = GroupOf(from_type).longest;
  const int32_t receiver = GroupOf(to_type).shortest;
  const WorkingRoute& from = routes_[static_cast<size_t>(donor)];
  const WorkingRoute& to = routes_[static_cast<size_t>(receiver)];
  if (donor == receiver || from.path.size() < 3 || to.path.size() < 2) return move;

  for (size_t i = 1; i + 2 <= from.path.size(); ++i) {
    const int32_t x = from.path[i];
    if (from_type != to_type && !Contains(validator_.points().at(x).types, to_type)) continue;
    double donor_cost = 0.0;
    if (!validator_.EvaluatePath(RemovedAt(from.path, i), donor, donor_cost)) continue;
    for (size_t j = 1; j + 1 <= to.path.size(); ++j) {
      double receiver_cost = 0.0;
      if (!validator_.EvaluatePath(InsertedBefore(to.path, j, x), receiver, receiver_cost)) {
        continue;
      }
      const double gain = from.cost - std::max(donor_cost, receiver_cost);
      if (gain > move.gain) {
        move.i = static_cast<int32_t>(i);
        move.j = static_cast<int32_t>(j);
        move.gain = gain;
      }
    }
  }
  return move;
}

void DefaultPostOptimizer::RelocateMove(WorkingRoute& donor, WorkingRoute& receiver, int32_t i,
                                        int32_t j) const {
  const int64_t donor_size = static_cast<int64_t>(donor.path.size());
  const int64_t receiver_size = static_cast<int64_t>(receiver.path.size());
  if (donor_size < 2 || receiver_size < 2) return;
  if (i < 1 || i > donor_size - 2 || j < 1 || j > receiver_size - 1) {
    diagnostics_.Err("Invalid indices.");
    return;
  }
  const int32_t x = donor.path[static_cast<size_t>(i)];
  std::vector<int32_t> new_donor = RemovedAt(donor.path, static_cast<size_t>(i));
  std::vector<int32_t> new_receiver = InsertedBefore(receiver.path, static_cast<size_t>(j), x);
  double donor_cost = 0.0;
  double receiver_cost = 0.0;
  if (!validator_.EvaluatePath(new_donor, donor.agent, donor_cost) ||
      !validator_.EvaluatePath(new_receiver, receiver.agent, receiver_cost)) {
    return;
  }
  donor.path = std::move(new_donor);
  donor.cost = donor_cost;
  donor.valid = true;
  receiver.path = std::move(new_receiver);
  receiver.cost = receiver_cost;
  receiver.valid = true;
}

void DefaultPostOptimizer::RefreshGroupExtremes(int32_t type) {
  AgentGroup& group = GroupOf(type, "");
  // Seeded with the first member, so negative costs still pick one.
  group.longest = group.members.front();
  group.shortest = group.members.front();
  for (int32_t m : group.members) {
    const double cost = routes_[static_cast<size_t>(m)].cost;
    if (cost > routes_[static_cast<size_t>(group.longest)].cost) group.longest = m;
    if (cost < routes_[static_cast<size_t>(group.shortest)].cost) group.shortest = m;
  }
}

AgentGroup& DefaultPostOptimizer::GroupOf(int32_t type, const std::string& context) {
  auto it = groups_.find(type);
  if (it == groups_.end()) ThrowNoGroup(type, context, diagnostics_);
  return it->second;
}

const AgentGroup& DefaultPostOptimizer::GroupOf(int32_t type) const {
  auto it = groups_.find(type);
  if (it == groups_.end()) ThrowNoGroup(type, "", diagnostics_);
  return it->second;
}

}  // namespace quarn
