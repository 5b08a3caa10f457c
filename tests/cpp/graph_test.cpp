#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "graph/arc_cost.h"
#include "graph/dense_cost_table.h"
#include "graph/sparse_graph.h"

namespace quarn {
namespace {

struct Failure {
  std::string printed;
  std::string thrown;
};

// Runs an operation that must fail and returns what it wrote and what it threw.
Failure CaptureFailure(const std::function<void()>& operation) {
  Failure failure{"", "<no exception>"};
  testing::internal::CaptureStdout();
  try {
    operation();
  } catch (const std::runtime_error& e) {
    failure.thrown = e.what();
  }
  failure.printed = testing::internal::GetCapturedStdout();
  return failure;
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

TEST(SparseGraphTest, AddArcWithAnotherCostDimensionFails) {
  SparseGraph g;
  g.AddArc(0, 1, {1.0});
  Failure f = CaptureFailure([&] { g.AddArc(5, 6, {1.0, 2.0}); });
  EXPECT_EQ(f.printed, "[ERROR] SparseGraph::AddArc cdim does not match: 1 != 2\n");
  EXPECT_EQ(f.thrown, "[ERROR] SparseGraph::AddArc cdim does not match");
  EXPECT_EQ(g.NumVertex(), 7u);  // the vertices stay, the arc does not
  EXPECT_FALSE(g.HasArc(5, 6));
  EXPECT_EQ(g.NumArcEntries(), 2u);
}

TEST(SparseGraphTest, SetArcCostErrorsInOrder) {
  const std::string vertex = "[ERROR] SparseGraph::SetArcCost vertex does not exist!";
  struct Case { int32_t u, v; CostVector cost; std::string message; };
  const Case cases[] = {
      // The dimension is checked before the vertices.
      {0, 9, {1.0, 2.0}, "[ERROR] SparseGraph::SetArcCost new edge cost dimension does not match! "
                         "Maybe call ChangeCostDim() at first."},
      {0, 9, {1.0}, vertex},
      {-1, 0, {1.0}, vertex},
      {1, 0, {1.0}, "[ERROR] SparseGraph::SetArcCost arc does not exist!"}};
  for (const auto& c : cases) {
    SparseGraph g;
    g.AddArc(0, 1, {1.0});
    Failure f = CaptureFailure([&] { g.SetArcCost(c.u, c.v, c.cost); });
    EXPECT_EQ(f.printed, c.message + "\n") << c.u << "->" << c.v;
    EXPECT_EQ(f.thrown, c.message) << c.u << "->" << c.v;
    EXPECT_EQ(g.GetArcCost(0, 1), (CostVector{1.0}));
  }
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

  const std::string prefix = "[ERROR] SparseGraph::CreateFromArcs ";
  struct Case { std::vector<int32_t> targets; std::string message; };
  for (const Case& c : {Case{{1}, "targets or costs are shorter than sources"},
                        Case{{1, -2}, "vertex index is negative"}}) {
    SparseGraph small = SmallGraph();
    Failure f = CaptureFailure([&] { small.CreateFromArcs({0, 1}, c.targets, {{1.0}, {1.0}}); });
    EXPECT_EQ(f.thrown, prefix + c.message);
    EXPECT_EQ(f.printed, prefix + c.message + "\n");
    EXPECT_EQ(small.ToStr(), kSmallGraphText);
  }
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
  Failure f = CaptureFailure([&] { g.AddArc(0, -2, {1.0, 1.0}); });
  EXPECT_EQ(f.thrown, "[ERROR] SparseGraph::AddArc vertex index is negative");
  EXPECT_EQ(f.printed, f.thrown + "\n");
  EXPECT_EQ(g.ToStr(), kSmallGraphText);
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
}  // namespace quarn
