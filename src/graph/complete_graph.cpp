#include "graph/complete_graph.h"

#include <utility>

namespace quarn {

CompleteGraph::CompleteGraph(DenseCostTable costs, int32_t dim)
    : costs_(std::move(costs)), n_(costs_.size()), dim_(dim) {}

CostVector CompleteGraph::GetArcCost(int32_t u, int32_t v) const {
  if (!HasArc(u, v)) return {};
  CostVector cost(static_cast<size_t>(dim_));
  for (int32_t t = 0; t < dim_; ++t) cost[static_cast<size_t>(t)] = *costs_.Arc(u, v, t);
  return cost;
}

std::vector<CostVector> CompleteGraph::GetSuccCosts(int32_t v) const {
  std::vector<CostVector> costs;
  for (int32_t w : Others(v)) costs.push_back(GetArcCost(v, w));
  return costs;
}

std::vector<CostVector> CompleteGraph::GetPredCosts(int32_t v) const {
  std::vector<CostVector> costs;
  for (int32_t w : Others(v)) costs.push_back(GetArcCost(w, v));
  return costs;
}

std::vector<int32_t> CompleteGraph::AllVertices() const {
  std::vector<int32_t> vertices(static_cast<size_t>(n_));
  for (int32_t v = 0; v < n_; ++v) vertices[static_cast<size_t>(v)] = v;
  return vertices;
}

std::vector<int32_t> CompleteGraph::Others(int32_t v) const {
  std::vector<int32_t> others;
  if (!HasVertex(v)) return others;
  others.reserve(static_cast<size_t>(n_ - 1));
  for (int32_t w = 0; w < n_; ++w) {
    if (w != v) others.push_back(w);
  }
  return others;
}

}  // namespace quarn
