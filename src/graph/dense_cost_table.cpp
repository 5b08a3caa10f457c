#include "graph/dense_cost_table.h"

#include <algorithm>
#include <limits>

namespace quarn {

DenseCostTable::DenseCostTable(const PlannerGraph& graph) {
  const uint64_t widest = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  n_ = static_cast<int32_t>(std::min(graph.NumVertex(), widest));
  const auto n = static_cast<size_t>(n_);
  std::vector<std::vector<int32_t>> succs(n);
  std::vector<std::vector<CostVector>> succ_costs(n);
  size_t dim = 0;
  for (size_t u = 0; u < n; ++u) {
    succs[u] = graph.GetSuccs(static_cast<int32_t>(u));
    succ_costs[u] = graph.GetSuccCosts(static_cast<int32_t>(u));
    for (const CostVector& cost : succ_costs[u]) dim = std::max(dim, cost.size());
  }
  width_.assign(n * n, 0);
  costs_.assign(dim * n * n, 0.0);
  std::vector<bool> seen(n * n, false);
  for (size_t u = 0; u < n; ++u) {
    const size_t arcs = std::min(succs[u].size(), succ_costs[u].size());
    for (size_t k = 0; k < arcs; ++k) {
      const int32_t v = succs[u][k];
      if (v < 0 || v >= n_) continue;
      const size_t pair = u * n + static_cast<size_t>(v);
      // The first arc of a pair is the one a cost lookup finds.
      if (seen[pair]) continue;
      seen[pair] = true;
      const CostVector& cost = succ_costs[u][k];
      width_[pair] = static_cast<int32_t>(cost.size());
      for (size_t t = 0; t < cost.size(); ++t) costs_[t * n * n + pair] = cost[t];
    }
  }
}

DenseCostTable::DenseCostTable(int32_t n, int32_t dim, double fill) : n_(std::max(n, 0)) {
  const auto size = static_cast<size_t>(n_);
  const auto width = static_cast<size_t>(std::max(dim, 0));
  width_.assign(size * size, static_cast<int32_t>(width));
  for (size_t v = 0; v < size; ++v) width_[v * size + v] = 0;
  costs_.assign(width * size * size, fill);
}

}  // namespace quarn
