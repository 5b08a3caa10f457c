#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "postopt/validating_post_optimizer.h"

namespace quarn {

// The cheapest feasible place for one target: before `position` of `agent`'s route.
struct Insertion {
  bool found = false;
  int32_t agent = -1;
  int32_t position = 0;
  double cost = std::numeric_limits<double>::max();  // the receiving route's new cost
};

// Empties whole routes, cheapest first, by inserting each of their targets at its
// cheapest place in the other routes, as long as no receiver outgrows the longest
// route of the solution; then 2-opts what remains.
class RouteMergingPostOptimizer : public ValidatingPostOptimizer {
 public:
  std::string Name() const override { return "RouteMergingPostOptimizer"; }
  void Optimize(const PlannerGraph* graph, const std::vector<Point>& points,
                const std::vector<AgentEntry>& agents, Result& result) override;

 private:
  void MergeCheapRoutes(double max_cost);
  void TryDissolve(int32_t donor, double max_cost);
  bool AllInsertable(const std::vector<int32_t>& targets, int32_t donor, double max_cost) const;
  bool MoveTargets(const std::vector<int32_t>& targets, int32_t donor, double max_cost);
  bool SettleDonor(int32_t donor, double max_cost);
  Insertion BestInsertion(int32_t node, int32_t excluded, double bound) const;

  std::vector<WorkingRoute> routes_;
};

}  // namespace quarn
