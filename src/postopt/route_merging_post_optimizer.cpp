#include "postopt/route_merging_post_optimizer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "postopt/route_edit.h"

namespace quarn {

void RouteMergingPostOptimizer::Optimize(const PlannerGraph* graph,
                                         const std::vector<Point>& points,
                                         const std::vector<AgentEntry>& agents, Result& result) {
  validator_.Load(graph, points, agents);
  LoadRoutes(result);
  double max_cost = 0.0;
  for (double cost : costs_) max_cost = std::max(max_cost, cost);
  if (max_cost <= 0.0) return;  // nothing valid to merge into
  MergeCheapRoutes(max_cost);
  for (size_t a = 0; a < routes_.size(); ++a) {
    if (costs_[a] > 0.0) validator_.TwoOpt(routes_[a], costs_[a], static_cast<int32_t>(a));
  }
  WriteBack(result);
}

void RouteMergingPostOptimizer::LoadRoutes(Result& result) {
  const size_t num_agents = validator_.agents().size();
  routes_.assign(num_agents, {});
  costs_.assign(num_agents, 0.0);
  valid_.assign(num_agents, 0);
  for (size_t a = 0; a < num_agents; ++a) {
    const int32_t agent = static_cast<int32_t>(a);
    routes_[a] = result.paths[agent];  // a missing route becomes empty
    valid_[a] = validator_.EvaluatePath(routes_[a], agent, costs_[a]) ? 1 : 0;
  }
}

void RouteMergingPostOptimizer::MergeCheapRoutes(double max_cost) {
  // Costs of this ordering are frozen: a route that grew while receiving keeps its old place.
  std::vector<std::pair<double, int32_t>> order;
  for (size_t a = 0; a < costs_.size(); ++a) order.emplace_back(costs_[a], static_cast<int32_t>(a));
  std::sort(order.begin(), order.end());
  for (const auto& [cost, agent] : order) {
    if (cost > 0.0 && cost < max_cost - kPostOptEpsilon) TryDissolve(agent, max_cost);
  }
}

void RouteMergingPostOptimizer::TryDissolve(int32_t donor, double max_cost) {
  const std::vector<int32_t>& route = routes_[static_cast<size_t>(donor)];
  if (route.size() < 3) return;
  const std::vector<int32_t> targets(route.begin() + 1, route.end() - 1);
  if (!AllInsertable(targets, donor, max_cost)) return;

  Snapshot saved{routes_, costs_, valid_};
  if (MoveTargets(targets, donor, max_cost) && SettleDonor(donor, max_cost)) return;
  // All or nothing: a half-done merge would leave targets stranded in the donor.
  routes_ = std::move(saved.routes);
  costs_ = std::move(saved.costs);
  valid_ = std::move(saved.valid);
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
  std::vector<int32_t>& donor_route = routes_[static_cast<size_t>(donor)];
  for (int32_t x : targets) {
    const Insertion insertion = BestInsertion(x, donor, max_cost);
    if (!insertion.found) return false;
    const size_t k = static_cast<size_t>(insertion.agent);
    routes_[k].insert(routes_[k].begin() + insertion.position, x);
    double cost = 0.0;
    if (validator_.EvaluatePath(routes_[k], insertion.agent, cost)) {
      costs_[k] = cost;
      valid_[k] = 1;
    }
    // Only interior positions: the donor's depots stay where they are.
    auto it = std::find(donor_route.begin() + 1, donor_route.end() - 1, x);
    if (it != donor_route.end() - 1) donor_route.erase(it);
  }
  return true;
}

bool RouteMergingPostOptimizer::SettleDonor(int32_t donor, double max_cost) {
  // What remains (usually [start, end]) is still a trip when start and end differ.
  const size_t d = static_cast<size_t>(donor);
  double cost = 0.0;
  if (!validator_.EvaluatePath(routes_[d], donor, cost)) return false;
  // The remaining trip obeys the same bound as every receiver, or the merge would
  // lengthen the longest route it set out to keep.
  if (cost > max_cost + kPostOptEpsilon) return false;
  costs_[d] = cost;
  valid_[d] = 1;
  return true;
}

Insertion RouteMergingPostOptimizer::BestInsertion(int32_t node, int32_t excluded,
                                                   double bound) const {
  Insertion best;
  const double limit = bound + kPostOptEpsilon;
  for (size_t k = 0; k < routes_.size(); ++k) {
    const int32_t agent = static_cast<int32_t>(k);
    if (agent == excluded || !validator_.CanServe(agent, node) || routes_[k].size() < 2) continue;
    for (size_t p = 1; p < routes_[k].size(); ++p) {
      double cost = 0.0;
      if (!validator_.EvaluatePath(InsertedBefore(routes_[k], p, node), agent, cost)) continue;
      if (cost > limit) continue;
      const bool cheaper = best.cost > cost;
      // Equal cost: the route that grows less takes it; otherwise the first one found.
      const bool tie_wins = best.found && std::fabs(cost - best.cost) < kPostOptEpsilon &&
                            best.cost - costs_[static_cast<size_t>(best.agent)] > cost - costs_[k];
      if (cheaper || tie_wins) best = Insertion{true, agent, static_cast<int32_t>(p), cost};
    }
  }
  return best;
}

void RouteMergingPostOptimizer::WriteBack(Result& result) const {
  for (size_t a = 0; a < routes_.size(); ++a) {
    const int32_t agent = static_cast<int32_t>(a);
    const double cost = valid_[a] ? costs_[a] : IncomingCost(result, agent);
    result.paths[agent] = routes_[a];
    result.times[agent] = cost;
  }
}

}  // namespace quarn
