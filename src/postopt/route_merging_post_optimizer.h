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
  // Everything a merge attempt may change, so a failed one can be undone.
  struct Snapshot {
    std::vector<std::vector<int32_t>> routes;
    std::vector<double> costs;
    std::vector<char> valid;
  };

  void LoadRoutes(Result& result);
  void MergeCheapRoutes(double max_cost);
  void TryDissolve(int32_t donor, double max_cost);
  bool AllInsertable(const std::vector<int32_t>& targets, int32_t donor, double max_cost) const;
  bool MoveTargets(const std::vector<int32_t>& targets, int32_t donor, double max_cost);
  bool SettleDonor(int32_t donor, double max_cost);
  Insertion BestInsertion(int32_t node, int32_t excluded, double bound) const;
  void WriteBack(Result& result) const;

  std::vector<std::vector<int32_t>> routes_;
  std::vector<double> costs_;
  // 0 while a route is the incoming one and failed validation; it keeps its reported cost.
  std::vector<char> valid_;
};

}  // namespace quarn
