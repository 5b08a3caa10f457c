#include "postopt/route_merging_post_optimizer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "postopt/route_edit.h"

namespace quarn {

void RouteMergingPostOptimizer::Optimize(const PlannerGraph* graph,
                                         const std::vector<Point>& points,
                                         const std::vector<AgentEntry>& agents, Result& result) {
  Load(graph, points, agents);
  routes_ = LoadEvaluated(result);
  double max_cost = 0.0;
  for (const WorkingRoute& route : routes_) max_cost = std::max(max_cost, route.cost);
  if (max_cost <= 0.0) return;  // nothing valid to merge into
  MergeCheapRoutes(max_cost);
  const auto expired = [this] { return Expired(); };
  for (WorkingRoute& route : routes_) {
    if (route.cost > 0.0) validator_.TwoOpt(route.path, route.cost, route.agent, expired);
  }
  WriteBack(routes_, result);
}

void RouteMergingPostOptimizer::MergeCheapRoutes(double max_cost) {
  // Costs of this ordering are frozen: a route that grew while receiving keeps its old place.
  std::vector<std::pair<double, int32_t>> order;
  for (const WorkingRoute& route : routes_) order.emplace_back(route.cost, route.agent);
  std::sort(order.begin(), order.end());
  for (const auto& [cost, agent] : order) {
    if (Expired()) return;
    if (cost > 0.0 && cost < max_cost - kPostOptEpsilon) TryDissolve(agent, max_cost);
  }
}

void RouteMergingPostOptimizer::TryDissolve(int32_t donor, double max_cost) {
  const std::vector<int32_t>& route = routes_[static_cast<size_t>(donor)].path;
  if (route.size() < 3) return;
  const std::vector<int32_t> targets(route.begin() + 1, route.end() - 1);
  if (!AllInsertable(targets, donor, max_cost)) return;

  std::vector<WorkingRoute> saved = routes_;
  if (MoveTargets(targets, donor, max_cost) && SettleDonor(donor, max_cost)) return;
  // All or nothing: a half-done merge would leave targets stranded in the donor.
  routes_ = std::move(saved);
}

bool RouteMergingPostOptimizer::AllInsertable(const std::vector<int32_t>& targets, int32_t donor,
                                              double max_cost) const {
  for (int32_t x : targets) {
    if (!BestInsertion(x, donor, max_cost).found) return false;
  }
  return true;
}

bool RouteMergingPostOptimizer::MoveTargets(const std::vector<int32_t>& targets, int32_t donor,
                                            double max_cost) {
  std::vector<int32_t>& donor_route = routes_[static_cast<size_t>(donor)].path;
  for (int32_t x : targets) {
    const Insertion insertion = BestInsertion(x, donor, max_cost);
    if (!insertion.found) return false;
    WorkingRoute& receiver = routes_[static_cast<size_t>(insertion.agent)];
    receiver.path.insert(receiver.path.begin() + insertion.position, x);
    double cost = 0.0;
    if (validator_.EvaluatePath(receiver.path, insertion.agent, cost)) {
      receiver.cost = cost;
      receiver.valid = true;
    }
    // Only interior positions: the donor's depots stay where they are.
    auto it = std::find(donor_route.begin() + 1, donor_route.end() - 1, x);
    if (it != donor_route.end() - 1) donor_route.erase(it);
  }
  return true;
}

bool RouteMergingPostOptimizer::SettleDonor(int32_t donor, double max_cost) {
  // What remains (usually [start, end]) is still a trip when start and end differ.
  WorkingRoute& route = routes_[static_cast<size_t>(donor)];
  double cost = 0.0;
  if (!validator_.EvaluatePath(route.path, donor, cost)) return false;
  // The remaining trip obeys the same bound as every receiver, or the merge would
  // lengthen the longest route it set out to keep.
  if (cost > max_cost + kPostOptEpsilon) return false;
  route.cost = cost;
  route.valid = true;
  return true;
}

Insertion RouteMergingPostOptimizer::BestInsertion(int32_t node, int32_t excluded,
                                                   double bound) const {
  Insertion best;
  const double limit = bound + kPostOptEpsilon;
  for (const WorkingRoute& route : routes_) {
    const int32_t agent = route.agent;
    if (agent == excluded || !validator_.CanServe(agent, node) || route.path.size() < 2) continue;
    for (size_t p = 1; p < route.path.size(); ++p) {
      double cost = 0.0;
      if (!validator_.EvaluatePath(InsertedBefore(route.path, p, node), agent, cost)) continue;
      if (cost > limit) continue;
      const bool cheaper = best.cost > cost;
      // Equal cost: the route that grows less takes it; otherwise the first one found.
      const bool tie_wins = best.found && std::fabs(cost - best.cost) < kPostOptEpsilon &&
                            best.cost - routes_[static_cast<size_t>(best.agent)].cost > cost - route.cost;
      if (cheaper || tie_wins) best = Insertion{true, agent, static_cast<int32_t>(p), cost};
    }
  }
  return best;
}

}  // namespace quarn
