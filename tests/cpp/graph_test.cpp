#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <stdexcept>
#include <tuple>

#include "graph/arc_cost.h"
#include "graph/dense_cost_table.h"
#include "graph/sparse_graph.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

// What a failing graph operation printed and the message of the runtime_error it threw.
template <typename Run>
std::pair<std::string, std::string> Failure(Run&& run) {
  const Output output = Capture(run);
  return {output.out, WhatOf<std::runtime_error>(output.error)};
}

const char kSmallGraphText[] =
    "=== SparseGraph Begin ===\n |V| = 3 outgoing edges \n"
    " -- 0:[1([2.000000,1000000.000000]),2([3.500000,0.333333]),]\n"
    " -- 1:[]\n"
    " -- 2:[0([-0.250000,0.000000]),]\n"
    " incoming edges \n"
    " -- 0:[2([-0.250000,0.000000]),]\n"
    " -- 1:[0([2.000000,1000000.000000]),]\n"
    " -- 2:[0([3.500000,0.333333]),]\n"
    "=== SparseGraph End ===";

SparseGraph SmallGraph() {
  SparseGraph g;
  g.AddArc(0, 1, {2.0, 1e6});
  g.AddArc(0, 2, {3.5, 1.0 / 3.0});
  g.AddArc(2, 0, {-0.25, 0.0});
  return g;
}

TEST(SparseGraphTest, ToStrByteForByteInAnyLocale) {
  EXPECT_EQ(SparseGraph().ToStr(),
            "=== SparseGraph Begin ===\n |V| = 0 outgoing edges \n incoming edges \n"
            "=== SparseGraph End ===");
  EXPECT_EQ(SmallGraph().ToStr(), kSmallGraphText);
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
    if (std::setlocale(LC_ALL, name) != nullptr &&
        std::localeconv()->decimal_point == std::string(",")) {
      const std::string text = SmallGraph().ToStr();
      std::setlocale(LC_ALL, saved.c_str());
      EXPECT_EQ(text, kSmallGraphText) << name;
      return;
    }
  }
  std::setlocale(LC_ALL, saved.c_str());
  GTEST_SKIP() << "no locale with a comma decimal separator is installed";
}

TEST(SparseGraphTest, ArcsCreateVerticesAndUpdatesAreNotCounted) {
  SparseGraph g;
  g.AddArc(0, 3, {1.0});
  EXPECT_EQ(g.AllVertices(), (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(g.NumEdge(), 1u);
  EXPECT_FALSE(g.HasArc(3, 0));
  g.AddArc(0, 3, {5.0});
  EXPECT_EQ(g.NumArcEntries(), 2u);
  EXPECT_EQ(g.GetPredCosts(3), (std::vector<CostVector>{{5.0}}));
  g.AddEdge(1, 2, {4.0});
  EXPECT_EQ(g.NumArcEntries(), 6u);
  EXPECT_EQ(g.NumEdge(), 3u);
  EXPECT_TRUE(g.SetArcCost(2, 1, {8.0}));
  EXPECT_EQ(g.GetArcCost(2, 1), (CostVector{8.0}));
  EXPECT_EQ(g.GetPredCosts(1), (std::vector<CostVector>{{8.0}}));
  EXPECT_EQ(g.NumEdge(), 3u);

  g.ChangeCostDim(3, 9999.0);  // grows and shrinks both lists
  EXPECT_EQ(g.GetArcCost(0, 3), (CostVector{5.0, 9999.0, 9999.0}));
  EXPECT_EQ(g.GetPredCosts(3), (std::vector<CostVector>{{5.0, 9999.0, 9999.0}}));
  g.ChangeCostDim(1, 0.0);
  EXPECT_EQ(g.GetPredCosts(2), (std::vector<CostVector>{{4.0}}));
}

TEST(SparseGraphTest, RebuildsCountFromZeroAndBadInputLeavesTheGraphAlone) {
  SparseGraph g;
  g.AddArc(7, 8, {1.0, 1.0});  // stale arcs and counter must not survive the rebuild
  g.CreateFromEdges({0, 1}, {1, 2}, {{3.0}, {4.0}});
  EXPECT_EQ(g.NumVertex(), 3u);
  EXPECT_EQ(g.NumEdge(), 4u);
  EXPECT_EQ(g.CostDim(), 2u);  // the rebuild leaves the dimension alone
  EXPECT_EQ(g.GetPredCosts(1), (std::vector<CostVector>{{3.0}, {4.0}}));
  g.CreateFromArcs({2, 0}, {0, 0}, {{5.0}, {6.0}});
  EXPECT_EQ(g.NumEdge(), 2u);
  EXPECT_EQ(g.GetPreds(0), (std::vector<int32_t>{2, 0}));
  EXPECT_FALSE(g.HasArc(0, 2));

}

TEST(SparseGraphTest, NegativeIndexIsNeverAVertex) {
  SparseGraph g = SmallGraph();
  g.AddVertex(-5);
  EXPECT_EQ(g.NumVertex(), 3u);
  for (int32_t bad : {-1, 3}) {
    EXPECT_FALSE(g.HasArc(bad, 0));
    EXPECT_TRUE(g.GetArcCost(bad, 0).empty());
    EXPECT_TRUE(g.GetSuccs(bad).empty());
    EXPECT_TRUE(g.GetPredCosts(bad).empty());
  }
}

// A refused operation prints its message, throws it and leaves the graph as it was.
TEST(SparseGraphTest, RefusedOperationsReportInOrderAndChangeNothing) {
  const std::string set = "[ERROR] SparseGraph::SetArcCost ";
  const std::string rebuild = "[ERROR] SparseGraph::CreateFromArcs ";
  const std::vector<std::pair<std::function<void(SparseGraph&)>, std::string>> cases = {
      // The dimension is checked before the vertices.
      {[](SparseGraph& g) { g.SetArcCost(0, 9, {1.0}); },
       set + "new edge cost dimension does not match! Maybe call ChangeCostDim() at first."},
      {[](SparseGraph& g) { g.SetArcCost(0, 9, {1.0, 1.0}); }, set + "vertex does not exist!"},
      {[](SparseGraph& g) { g.SetArcCost(-1, 0, {1.0, 1.0}); }, set + "vertex does not exist!"},
      {[](SparseGraph& g) { g.SetArcCost(1, 0, {1.0, 1.0}); }, set + "arc does not exist!"},
      {[](SparseGraph& g) { g.CreateFromArcs({0, 1}, {1}, {{1.0}, {1.0}}); },
       rebuild + "targets or costs are shorter than sources"},
      {[](SparseGraph& g) { g.CreateFromArcs({0, 1}, {1, -2}, {{1.0}, {1.0}}); },
       rebuild + "vertex index is negative"},
      {[](SparseGraph& g) { g.AddArc(0, -2, {1.0, 1.0}); },
       "[ERROR] SparseGraph::AddArc vertex index is negative"},
  };
  for (const auto& [operation, message] : cases) {
    SparseGraph g = SmallGraph();
    EXPECT_EQ(Failure([&g, &operation = operation] { operation(g); }), std::make_pair(message + "\n", message));
    EXPECT_EQ(g.ToStr(), kSmallGraphText) << message;
  }
  // An arc of another cost dimension: the vertices it names stay, the arc does not.
  SparseGraph g = SmallGraph();
  const std::string dimension = "[ERROR] SparseGraph::AddArc cdim does not match";
  EXPECT_EQ(Failure([&] { g.AddArc(5, 6, {1.0}); }), std::make_pair(dimension + ": 2 != 1\n", dimension));
  EXPECT_EQ(std::make_tuple(g.NumVertex(), g.HasArc(5, 6), g.NumArcEntries()),
            std::make_tuple(uint64_t{7}, false, uint64_t{6}));
}

TEST(DenseCostTableTest, ReadsWhatArcComponentReads) {
  SparseGraph sparse;
  sparse.ChangeCostDim(2, 9999.0);
  sparse.AddArc(0, 1, {3.0, 4.0});
  sparse.AddArc(1, 0, {-2.0, 0.5});
  sparse.AddArc(2, 3, {9999.0, 1.0});
  sparse.AddArc(0, 1, {5.0, 6.0});  // an update replaces the cost
  // A graph the solver does not build: a repeated arc and cost vectors of different lengths.
  SparseGraph ragged;
  ragged.CreateFromArcs({0, 0, 0, 2}, {1, 2, 1, 0}, {{1.5, 2.5}, {7.0}, {99.0, 98.0}, {}});
  const SparseGraph empty;
  for (const SparseGraph* graph : {&std::as_const(sparse), &std::as_const(ragged), &empty}) {
    const DenseCostTable table(*graph);
    const auto n = static_cast<int32_t>(graph->NumVertex());
    for (int32_t u = -1; u <= n; ++u) {
      for (int32_t v = -1; v <= n; ++v) {
        for (int32_t type = -1; type <= 3; ++type) {
          EXPECT_EQ(table.Arc(u, v, type), ArcComponent(*graph, u, v, type))
              << u << "->" << v << " type " << type;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quarn::test
