#pragma once

#include <cstdint>
#include <vector>

#include "graph/dense_cost_table.h"
#include "graph/planner_graph.h"

namespace quarn {

// The complete directed graph without loops over the vertices of a complete
// DenseCostTable, which it owns: one flat table instead of a cost vector per
// arc. It answers like a SparseGraph to which every arc u -> v (u != v) was
// added in ascending order of u, then v.
class CompleteGraph : public PlannerGraph {
 public:
  CompleteGraph(DenseCostTable costs, int32_t dim);

  const DenseCostTable& costs() const { return costs_; }

  bool HasVertex(int32_t v) const override { return v >= 0 && v < n_; }
  bool HasArc(int32_t u, int32_t v) const override { return HasVertex(u) && HasVertex(v) && u != v; }
  std::vector<int32_t> GetSuccs(int32_t v) const override { return Others(v); }
  std::vector<int32_t> GetPreds(int32_t v) const override { return Others(v); }
  CostVector GetArcCost(int32_t u, int32_t v) const override;
  std::vector<CostVector> GetSuccCosts(int32_t v) const override;
  std::vector<CostVector> GetPredCosts(int32_t v) const override;
  uint64_t NumVertex() const override { return static_cast<uint64_t>(n_); }
  uint64_t NumArcEntries() const override { return 2 * NumEdge(); }
  uint64_t NumEdge() const override {
    return n_ == 0 ? 0 : static_cast<uint64_t>(n_) * static_cast<uint64_t>(n_ - 1);
  }
  uint64_t CostDim() const override { return static_cast<uint64_t>(dim_); }
  std::vector<int32_t> AllVertices() const override;

 private:
  std::vector<int32_t> Others(int32_t v) const;

  DenseCostTable costs_;
  int32_t n_ = 0;
  int32_t dim_ = 0;
};

}  // namespace quarn
