#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <stdexcept>
#include <string>

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

TEST(SparseGraphTest, EmptyGraph) {
  SparseGraph g;
  EXPECT_EQ(g.NumVertex(), 0u);
  EXPECT_EQ(g.CostDim(), 0u);
  EXPECT_EQ(g.NumEdge(), 0u);
  EXPECT_TRUE(g.AllVertices().empty());
  EXPECT_EQ(g.ToStr(),
            "=== SparseGraph Begin ===\n |V| = 0 outgoing edges \n incoming edges \n=== SparseGraph End ===");
}

TEST(SparseGraphTest, ToStrOfSmallGraph) { EXPECT_EQ(SmallGraph().ToStr(), kSmallGraphText); }

TEST(SparseGraphTest, ToStrIgnoresCommaDecimalLocale) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  bool comma = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8", "de_DE"}) {
    if (std::setlocale(LC_ALL, name) != nullptr && std::string(std::localeconv()->decimal_point) == ",") {
      comma = true;
      break;
    }
  }
  if (!comma) {
    std::setlocale(LC_ALL, saved.c_str());
    GTEST_SKIP() << "no locale with a comma decimal separator is installed";
  }
  std::string text = SmallGraph().ToStr();
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(text, kSmallGraphText);
}

TEST(SparseGraphTest, AddArcCreatesVerticesAndUpdatesWithoutCounting) {
  SparseGraph g;
  g.AddArc(0, 3, {1.0});
  EXPECT_EQ(g.NumVertex(), 4u);
  EXPECT_EQ(g.AllVertices(), (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(g.CostDim(), 1u);
  EXPECT_EQ(g.NumArcEntries(), 2u);
  EXPECT_EQ(g.NumEdge(), 1u);
  EXPECT_TRUE(g.HasArc(0, 3));
  EXPECT_FALSE(g.HasArc(3, 0));

  g.AddArc(0, 3, {5.0});
  EXPECT_EQ(g.NumArcEntries(), 2u);
  EXPECT_EQ(g.GetSuccs(0), (std::vector<int32_t>{3}));
  EXPECT_EQ(g.GetPreds(3), (std::vector<int32_t>{0}));
  EXPECT_EQ(g.GetArcCost(0, 3), (CostVector{5.0}));
  EXPECT_EQ(g.GetSuccCosts(0), (std::vector<CostVector>{{5.0}}));
  EXPECT_EQ(g.GetPredCosts(3), (std::vector<CostVector>{{5.0}}));
  EXPECT_TRUE(g.GetArcCost(3, 0).empty());
}

TEST(SparseGraphTest, AddEdgeCountsBothDirections) {
  SparseGraph g;
  g.AddArc(0, 3, {1.0});
  g.AddEdge(1, 2, {4.0});
  EXPECT_EQ(g.NumArcEntries(), 6u);
  EXPECT_EQ(g.NumEdge(), 3u);
  EXPECT_EQ(g.GetArcCost(2, 1), (CostVector{4.0}));
}

TEST(SparseGraphTest, AddArcCostDimensionMismatch) {
  SparseGraph g;
  g.AddArc(0, 1, {1.0});
  Failure f = CaptureFailure([&] { g.AddArc(5, 6, {1.0, 2.0}); });
  EXPECT_EQ(f.printed, "[ERROR] SparseGraph::AddArc cdim does not match: 1 != 2\n");
  EXPECT_EQ(f.thrown, "[ERROR] SparseGraph::AddArc cdim does not match");
  EXPECT_EQ(g.NumVertex(), 7u);  // the vertices stay, the arc does not
  EXPECT_FALSE(g.HasArc(5, 6));
  EXPECT_EQ(g.NumArcEntries(), 2u);
}

TEST(SparseGraphTest, ChangeCostDimGrowsAndShrinksBothLists) {
  SparseGraph g;
  g.AddEdge(0, 1, {7.0});
  g.ChangeCostDim(3, 9999.0);
  EXPECT_EQ(g.CostDim(), 3u);
  EXPECT_EQ(g.GetArcCost(1, 0), (CostVector{7.0, 9999.0, 9999.0}));
  EXPECT_EQ(g.GetPredCosts(1), (std::vector<CostVector>{{7.0, 9999.0, 9999.0}}));
  g.ChangeCostDim(1, 0.0);
  EXPECT_EQ(g.GetArcCost(0, 1), (CostVector{7.0}));
  EXPECT_EQ(g.GetPredCosts(0), (std::vector<CostVector>{{7.0}}));
}

struct SetArcCostCase {
  int32_t u, v;
  CostVector cost;
  std::string message;
};

TEST(SparseGraphTest, SetArcCostErrorsInOrder) {
  const std::string dim = "[ERROR] SparseGraph::SetArcCost new edge cost dimension does not match! Maybe "
                          "call ChangeCostDim() at first.";
  const std::string vertex = "[ERROR] SparseGraph::SetArcCost vertex does not exist!";
  const std::string arc = "[ERROR] SparseGraph::SetArcCost arc does not exist!";
  const SetArcCostCase cases[] = {
      {0, 9, {1.0, 2.0}, dim},  // the dimension is checked before the vertices
      {0, 9, {1.0}, vertex},
      {-1, 0, {1.0}, vertex},
      {1, 0, {1.0}, arc},
  };
  for (const auto& c : cases) {
    SparseGraph g;
    g.AddArc(0, 1, {1.0});
    Failure f = CaptureFailure([&] { g.SetArcCost(c.u, c.v, c.cost); });
    EXPECT_EQ(f.printed, c.message + "\n") << c.u << "->" << c.v;
    EXPECT_EQ(f.thrown, c.message) << c.u << "->" << c.v;
    EXPECT_EQ(g.GetArcCost(0, 1), (CostVector{1.0}));
  }
}

TEST(SparseGraphTest, SetArcCostUpdatesBothLists) {
  SparseGraph g;
  g.AddArc(0, 1, {1.0});
  EXPECT_TRUE(g.SetArcCost(0, 1, {8.0}));
  EXPECT_EQ(g.GetArcCost(0, 1), (CostVector{8.0}));
  EXPECT_EQ(g.GetPredCosts(1), (std::vector<CostVector>{{8.0}}));
  EXPECT_EQ(g.NumEdge(), 1u);
}

TEST(SparseGraphTest, CreateFromEdgesAndArcsCountFromZero) {
  SparseGraph g;
  g.AddArc(7, 8, {1.0, 1.0});  // stale arcs and counter must not survive the rebuild
  g.CreateFromEdges({0, 1}, {1, 2}, {{3.0}, {4.0}});
  EXPECT_EQ(g.NumVertex(), 3u);
  EXPECT_EQ(g.NumArcEntries(), 8u);
  EXPECT_EQ(g.NumEdge(), 4u);
  EXPECT_EQ(g.CostDim(), 2u);  // the rebuild leaves the dimension alone
  EXPECT_EQ(g.GetSuccs(1), (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(g.GetPredCosts(1), (std::vector<CostVector>{{3.0}, {4.0}}));

  g.CreateFromArcs({2, 0}, {0, 0}, {{5.0}, {6.0}});
  EXPECT_EQ(g.NumVertex(), 3u);
  EXPECT_EQ(g.NumEdge(), 2u);
  EXPECT_EQ(g.GetSuccs(0), (std::vector<int32_t>{0}));
  EXPECT_EQ(g.GetPreds(0), (std::vector<int32_t>{2, 0}));
  EXPECT_FALSE(g.HasArc(0, 2));
}

TEST(SparseGraphTest, RebuildRejectsShortListsAndNegativeIndices) {
  struct Case {
    std::vector<int32_t> sources, targets;
    std::vector<CostVector> costs;
    std::string message;
  };
  const Case cases[] = {
      {{0, 1}, {1}, {{1.0}, {1.0}}, "[ERROR] SparseGraph::CreateFromArcs targets or costs are shorter than sources"},
      {{0, 1}, {1, 2}, {{1.0}}, "[ERROR] SparseGraph::CreateFromArcs targets or costs are shorter than sources"},
      {{0, -1}, {1, 2}, {{1.0}, {1.0}}, "[ERROR] SparseGraph::CreateFromArcs vertex index is negative"},
  };
  for (const auto& c : cases) {
    SparseGraph g = SmallGraph();
    Failure f = CaptureFailure([&] { g.CreateFromArcs(c.sources, c.targets, c.costs); });
    EXPECT_EQ(f.thrown, c.message);
    EXPECT_EQ(f.printed, c.message + "\n");
    EXPECT_EQ(g.ToStr(), kSmallGraphText);  // untouched
  }
  SparseGraph g;
  Failure f = CaptureFailure([&] { g.CreateFromEdges({0}, {}, {{1.0}}); });
  EXPECT_EQ(f.thrown, "[ERROR] SparseGraph::CreateFromEdges targets or costs are shorter than sources");
}

TEST(SparseGraphTest, NegativeIndexIsNeverAVertex) {
  SparseGraph g = SmallGraph();
  g.AddVertex(-5);
  EXPECT_EQ(g.NumVertex(), 3u);
  for (int32_t bad : {-1, 3, 100}) {
    EXPECT_FALSE(g.HasVertex(bad));
    EXPECT_FALSE(g.HasArc(bad, 0));
    EXPECT_TRUE(g.GetArcCost(bad, 0).empty());
    EXPECT_TRUE(g.GetSuccs(bad).empty());
    EXPECT_TRUE(g.GetPredCosts(bad).empty());
  }
  for (auto [u, v] : {std::pair{-1, 0}, std::pair{0, -2}}) {
    Failure f = CaptureFailure([&] { g.AddArc(u, v, {1.0, 1.0}); });
    EXPECT_EQ(f.thrown, "[ERROR] SparseGraph::AddArc vertex index is negative");
    EXPECT_EQ(f.printed, f.thrown + "\n");
  }
  EXPECT_EQ(g.ToStr(), kSmallGraphText);
}

}  // namespace
}  // namespace quarn
