#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "graph/planner_graph.h"

namespace quarn {

// Every arc cost of a graph in one flat table, read without copying a cost
// vector. For vertices u and v of the graph it was built from, Arc(u, v, type)
// equals ArcComponent(graph, u, v, type); the table does not follow later
// changes of that graph.
class DenseCostTable {
 public:
  DenseCostTable() = default;
  explicit DenseCostTable(const PlannerGraph& graph);

  std::optional<double> Arc(int32_t u, int32_t v, int32_t type) const {
    if (u < 0 || v < 0 || u >= n_ || v >= n_ || type < 0) return std::nullopt;
    const size_t pair = static_cast<size_t>(u) * static_cast<size_t>(n_) + static_cast<size_t>(v);
    if (type >= width_[pair]) return std::nullopt;
    return costs_[(static_cast<size_t>(type) * static_cast<size_t>(n_) + static_cast<size_t>(u)) *
                      static_cast<size_t>(n_) +
                  static_cast<size_t>(v)];
  }

 private:
  int32_t n_ = 0;
  std::vector<int32_t> width_;  // per vertex pair: components of its cost vector, 0 without an arc
  std::vector<double> costs_;   // type-major: one n x n block per component
};

}  // namespace quarn
