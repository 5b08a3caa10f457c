#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <vector>

#include "plugins/default_heuristic.h"

namespace quarn {
namespace {

Label MakeLabel(int32_t num_nodes, std::vector<int32_t> positions, std::vector<uint8_t> finished,
                const std::vector<int32_t>& visited = {}) {
  Label label;
  label.visited = VisitedSet(num_nodes);
  for (int32_t v : visited) label.visited.set(v);
  label.positions = std::move(positions);
  label.costs.assign(label.positions.size(), 0.0);
  label.finished = std::move(finished);
  label.remaining = static_cast<int32_t>(
      std::count(label.finished.begin(), label.finished.end(), uint8_t{0}));
  return label;
}

DefaultHeuristic MakeHeuristic(const std::vector<MstEdge>& edges) {
  DefaultHeuristic heuristic;
  heuristic.Init(nullptr, {}, {});
  heuristic.SetEdges(edges);
  return heuristic;
}

// The bound exactly as first described: rescan the sorted edge list for the
// cheapest edge crossing from the covered set through live nodes.
double ReferenceEstimate(const std::vector<MstEdge>& sorted_edges, const Label& label) {
  VisitedSet covered = label.visited;
  VisitedSet dead = label.visited;
  for (size_t a = 0; a < label.positions.size(); ++a) {
    covered.set(label.positions[a]);
    if (label.finished[a] == 0) dead.reset(label.positions[a]);
  }
  double total = 0.0;
  for (;;) {
    bool all_covered = true;
    for (int32_t i = 0; i < covered.size; ++i) all_covered = all_covered && covered.test(i);
    if (covered.size < 1 || all_covered) return total;
    bool taken = false;
    for (const MstEdge& e : sorted_edges) {
      const auto u = static_cast<int32_t>(e.u);
      const auto v = static_cast<int32_t>(e.v);
      if (e.weight >= 9999.0 || covered.test(u) == covered.test(v)) continue;
      if (dead.test(u) || dead.test(v)) continue;
      total += e.weight;
      covered.set(covered.test(u) ? v : u);
      taken = true;
      break;
    }
    if (!taken) return DefaultHeuristic::kUnreachable;
  }
}

TEST(DefaultHeuristicTest, UnreachableValueHasTheDocumentedBits) {
  uint64_t bits = 0;
  std::memcpy(&bits, &DefaultHeuristic::kUnreachable, sizeof bits);
  EXPECT_EQ(bits, 0x7FAFFFFFFFFFFFFFull);
  EXPECT_EQ(DefaultHeuristic::kUnreachable, 1.1235582092889473e307);
}

TEST(DefaultHeuristicTest, GrowsFromTheCoveredNodeAlongTheCheapestCrossingEdges) {
  DefaultHeuristic heuristic = MakeHeuristic({{2, 1, 1.0}, {2, 0, 3.0}, {1, 0, 4.0}});
  EXPECT_EQ(heuristic.Estimate(MakeLabel(3, {0}, {0})), 4.0);
}

TEST(DefaultHeuristicTest, EverythingVisitedCostsNothing) {
  DefaultHeuristic heuristic = MakeHeuristic({{1, 0, 5.0}, {2, 1, 2.0}});
  EXPECT_EQ(heuristic.Estimate(MakeLabel(3, {0}, {0}, {0, 1, 2})), 0.0);
  EXPECT_EQ(heuristic.Estimate(MakeLabel(0, {}, {})), 0.0);
}

struct UnreachableCase {
  const char* name;
  std::vector<MstEdge> edges;
  Label label;
};

void PrintTo(const UnreachableCase& c, std::ostream* os) { *os << c.name; }

class DefaultHeuristicUnreachableTest : public testing::TestWithParam<UnreachableCase> {};

TEST_P(DefaultHeuristicUnreachableTest, ReportsTheUnreachableValue) {
  DefaultHeuristic heuristic = MakeHeuristic(GetParam().edges);
  EXPECT_EQ(heuristic.Estimate(GetParam().label), DefaultHeuristic::kUnreachable);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultHeuristicUnreachableTest,
    testing::Values(
        UnreachableCase{"OnlyBlockedEdges", {{1, 0, 3.0}, {2, 1, 9999.0}, {2, 0, 12000.0}},
                        MakeLabel(3, {0}, {0})},
        // Node 1 was visited and nobody active stands there, so it carries nothing.
        UnreachableCase{"OnlyThroughADeadNode", {{1, 0, 1.0}, {2, 1, 1.0}},
                        MakeLabel(3, {0}, {0}, {1})},
        // A finished agent's node is dead even though it stands there.
        UnreachableCase{"OnlyFromAFinishedAgentsNode", {{1, 0, 1.0}},
                        MakeLabel(2, {0}, {1}, {0})},
        UnreachableCase{"NodeBeyondEveryEdge", {{1, 0, 1.0}}, MakeLabel(3, {0}, {0})},
        UnreachableCase{"NoEdgesAtAll", {}, MakeLabel(2, {0}, {0})}),
    [](const testing::TestParamInfo<UnreachableCase>& info) { return info.param.name; });

TEST(DefaultHeuristicTest, CountsTheCheapestOfParallelEdgesAndJustUnderTheBlockMark) {
  DefaultHeuristic heuristic = MakeHeuristic({{1, 0, 2.0}, {1, 0, 5.0}, {2, 1, 9998.0}});
  EXPECT_EQ(heuristic.Estimate(MakeLabel(3, {0}, {0})), 2.0 + 9998.0);
}

TEST(DefaultHeuristicTest, AnActiveAgentKeepsItsVisitedNodeLive) {
  // Node 1 is visited, but the unfinished agent 1 stands there.
  DefaultHeuristic heuristic = MakeHeuristic({{1, 0, 9.0}, {2, 1, 1.0}, {2, 0, 6.0}});
  EXPECT_EQ(heuristic.Estimate(MakeLabel(3, {0, 1}, {0, 0}, {1})), 1.0);
  EXPECT_EQ(heuristic.Estimate(MakeLabel(3, {0, 1}, {0, 1}, {1})), 6.0);
}

TEST(DefaultHeuristicTest, NewEdgesReplaceTheOldOnes) {
  DefaultHeuristic heuristic = MakeHeuristic({{1, 0, 2.0}});
  heuristic.SetEdges({{1, 0, 7.0}});
  EXPECT_EQ(heuristic.Estimate(MakeLabel(2, {0}, {0})), 7.0);
}

std::vector<MstEdge> RandomSortedEdges(int32_t n, std::mt19937& rng) {
  std::uniform_int_distribution<int> cost(1, 6);  // few values, many ties
  std::uniform_int_distribution<int> kind(0, 9);
  std::vector<MstEdge> edges;
  for (int32_t u = 1; u < n; ++u) {
    for (int32_t v = 0; v < u; ++v) {
      const int k = kind(rng);
      if (k == 0) continue;  // no edge for this pair
      const double w = k == 1 ? 9999.0 : (k == 2 ? 20000.0 : static_cast<double>(cost(rng)));
      edges.push_back({static_cast<uint32_t>(u), static_cast<uint32_t>(v), w});
      if (k == 3) edges.push_back({static_cast<uint32_t>(u), static_cast<uint32_t>(v), w + 2.0});
    }
  }
  std::shuffle(edges.begin(), edges.end(), rng);
  std::stable_sort(edges.begin(), edges.end(),
                   [](const MstEdge& a, const MstEdge& b) { return a.weight < b.weight; });
  return edges;
}

Label RandomLabel(int32_t n, std::mt19937& rng) {
  std::uniform_int_distribution<int32_t> node(0, n - 1);
  std::uniform_int_distribution<int> agents(1, 4);
  std::bernoulli_distribution coin(0.3);
  std::vector<int32_t> positions;
  std::vector<uint8_t> finished;
  for (int a = agents(rng); a > 0; --a) {
    positions.push_back(node(rng));
    finished.push_back(coin(rng) ? 1 : 0);
  }
  std::vector<int32_t> visited;
  for (int32_t v = 0; v < n; ++v) {
    if (coin(rng)) visited.push_back(v);
  }
  return MakeLabel(n, std::move(positions), std::move(finished), visited);
}

TEST(DefaultHeuristicTest, MatchesTheRescanningBoundOnRandomLabels) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int32_t> size(1, 14);
  DefaultHeuristic heuristic;
  int unreachable = 0;
  for (int graph = 0; graph < 300; ++graph) {
    const int32_t n = graph % 50 == 0 ? 60 : size(rng);
    const std::vector<MstEdge> edges = RandomSortedEdges(n, rng);
    heuristic.SetEdges(edges);
    for (int trial = 0; trial < 12; ++trial) {
      const Label label = RandomLabel(n, rng);
      const double expected = ReferenceEstimate(edges, label);
      unreachable += expected == DefaultHeuristic::kUnreachable ? 1 : 0;
      ASSERT_EQ(heuristic.Estimate(label), expected) << "graph " << graph << " trial " << trial;
    }
  }
  // Both outcomes must have been exercised for the comparison to mean much.
  EXPECT_GT(unreachable, 100);
  EXPECT_LT(unreachable, 3000);
}

// Real-valued costs, so sums round; the bounds asked for sit on both sides of
// the full estimate and exactly on it.
TEST(DefaultHeuristicTest, StopsEarlyOnlyWhereTheFullEstimateReachesTheBound) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> cost(0.001, 100.0);
  DefaultHeuristic heuristic;
  int early = 0;
  for (int graph = 0; graph < 200; ++graph) {
    const int32_t n = 2 + graph % 40;
    std::vector<MstEdge> edges;
    for (int32_t u = 1; u < n; ++u) {
      for (int32_t v = 0; v < u; ++v) {
        edges.push_back({static_cast<uint32_t>(u), static_cast<uint32_t>(v), cost(rng)});
      }
    }
    heuristic.SetEdges(edges);
    for (int trial = 0; trial < 10; ++trial) {
      const Label label = RandomLabel(n, rng);
      const double full = heuristic.Estimate(label);
      for (double enough : {0.0, full * 0.3, full * 0.7, full * 0.999, std::nextafter(full, 0.0), full,
                            std::nextafter(full, 1e300), full * 1.5, -1.0}) {
        const double got = heuristic.Estimate(label, enough);
        if (got == full) continue;
        ++early;
        EXPECT_LE(enough, full) << "stopped although the full estimate stays below the bound";
        EXPECT_GE(got, enough);
        EXPECT_LE(got, full);
      }
    }
  }
  EXPECT_GT(early, 500) << "the early stop should have been exercised";

  // With an edge below zero a partial sum proves nothing: never stop early.
  heuristic.SetEdges({{1, 0, 5.0}, {2, 1, -1.0}, {2, 0, 4.0}});
  const Label label = MakeLabel(3, {0}, {0});
  EXPECT_EQ(heuristic.Estimate(label, 0.5), heuristic.Estimate(label));
}

}  // namespace
}  // namespace quarn
