#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "graph/arc_cost.h"
#include "graph/dense_cost_table.h"
#include "graph/sparse_graph.h"
#include "solver/time_window_map.h"

namespace quarn {
namespace {

// A graph the solver does not build: a repeated arc and cost vectors of
// different lengths, read through the interface only.
class RaggedGraph : public PlannerGraph {
 public:
  bool HasVertex(int32_t v) const override { return v >= 0 && v < 3; }
  bool HasArc(int32_t u, int32_t v) const override { return GetArcCost(u, v).size() > 0; }
  std::vector<int32_t> GetSuccs(int32_t v) const override {
    return v == 0 ? std::vector<int32_t>{1, 2, 1} : v == 2 ? std::vector<int32_t>{0} : std::vector<int32_t>{};
  }
  std::vector<int32_t> GetPreds(int32_t) const override { return {}; }
  CostVector GetArcCost(int32_t u, int32_t v) const override {
    const std::vector<int32_t> succs = GetSuccs(u);
    const std::vector<CostVector> costs = GetSuccCosts(u);
    for (size_t k = 0; k < succs.size(); ++k) {
      if (succs[k] == v) return costs[k];
    }
    return {};
  }
  std::vector<CostVector> GetSuccCosts(int32_t v) const override {
    if (v == 0) return {{1.5, 2.5}, {7.0}, {99.0, 98.0}};
    if (v == 2) return {{}};
    return {};
  }
  std::vector<CostVector> GetPredCosts(int32_t) const override { return {}; }
  uint64_t NumVertex() const override { return 3; }
  uint64_t NumArcEntries() const override { return 4; }
  uint64_t NumEdge() const override { return 2; }
  uint64_t CostDim() const override { return 2; }
  std::vector<int32_t> AllVertices() const override { return {0, 1, 2}; }
};

void ExpectSameAsArcComponent(const PlannerGraph& graph) {
  const DenseCostTable table(graph);
  const auto n = static_cast<int32_t>(graph.NumVertex());
  for (int32_t u = -1; u <= n; ++u) {
    for (int32_t v = -1; v <= n; ++v) {
      for (int32_t type = -1; type <= 3; ++type) {
        EXPECT_EQ(table.Arc(u, v, type), ArcComponent(graph, u, v, type))
            << u << " -> " << v << " type " << type;
      }
    }
  }
}

TEST(DenseCostTable, ReadsWhatArcComponentReads) {
  SparseGraph sparse;
  sparse.ChangeCostDim(2, 9999.0);
  sparse.AddArc(0, 1, {3.0, 4.0});
  sparse.AddArc(1, 0, {-2.0, 0.5});
  sparse.AddArc(2, 3, {9999.0, 1.0});
  sparse.AddArc(0, 1, {5.0, 6.0});  // an update replaces the cost
  ExpectSameAsArcComponent(sparse);
  ExpectSameAsArcComponent(RaggedGraph());
  ExpectSameAsArcComponent(SparseGraph());
}

TEST(DenseTimeWindows, AppliesTheRuleOfTheMap) {
  TimeWindowMap windows = {{0, {2.0, 5.0}}, {3, {0.0, 1.0}}, {-4, {1.0, 3.0}}, {1 << 20, {6.0, 8.0}}};
  const DenseTimeWindows dense(windows);
  for (int32_t node : {-4, -1, 0, 1, 2, 3, 4, 1 << 20, (1 << 20) + 1}) {
    for (double t : {-1.0, 0.0, 1.0, 2.0, 3.0, 5.0, 5.5, 7.0, 8.0, 9.0}) {
      double expected = -7.0;
      double got = -8.0;
      EXPECT_EQ(dense.Apply(node, t, got), ApplyWindow(windows, node, t, expected))
          << "node " << node << " t " << t;
      EXPECT_EQ(got, expected) << "node " << node << " t " << t;
    }
  }
  double out = 0.0;
  EXPECT_TRUE(DenseTimeWindows().Apply(0, 4.0, out));
  EXPECT_EQ(out, 4.0);
}

}  // namespace
}  // namespace quarn
