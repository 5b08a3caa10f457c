#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "plugins/default_heuristic.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

const double kUnreachable = DefaultHeuristic::kUnreachable;

TEST(DefaultHeuristicTest, SpanningForestThroughLiveNodes) {
  EXPECT_EQ(kUnreachable, 1.1235582092889473e307);
  struct Case { const char* name; std::vector<MstEdge> edges; Label label; double bound; };
  const std::vector<MstEdge> triangle = {{1, 0, 9.0}, {2, 1, 1.0}, {2, 0, 6.0}};
  const Case cases[] = {
      {"worked example", {{2, 1, 1.0}, {2, 0, 3.0}, {1, 0, 4.0}}, MakeLabel(3, {0}), 4.0},
      {"all visited", {{1, 0, 5.0}}, MakeLabel(2, {0}, {}, {0}, {0, 1}), 0.0},
      {"no nodes", {}, MakeLabel(0, {}), 0.0},
      {"cheapest parallel edge, just under the block mark",
       {{1, 0, 2.0}, {1, 0, 5.0}, {2, 1, 9998.0}}, MakeLabel(3, {0}), 10000.0},
      {"blocked edges", {{1, 0, 3.0}, {2, 1, 9999.0}, {2, 0, 12000.0}}, MakeLabel(3, {0}),
       kUnreachable},
      {"node beyond every edge", {{1, 0, 1.0}}, MakeLabel(3, {0}), kUnreachable},
      // A visited node carries nothing, unless an unfinished agent stands there.
      {"only through a dead node", {{1, 0, 1.0}, {2, 1, 1.0}}, MakeLabel(3, {0}, {}, {0}, {1}),
       kUnreachable},
      {"active agent keeps its node live", triangle, MakeLabel(3, {0, 1}, {}, {0, 0}, {1}), 1.0},
      {"finished agent's node is dead", triangle, MakeLabel(3, {0, 1}, {}, {0, 1}, {1}), 6.0}};
  DefaultHeuristic heuristic;
  heuristic.Init(nullptr, {}, {});
  for (const Case& c : cases) {
    heuristic.SetEdges(c.edges);
    EXPECT_EQ(heuristic.Estimate(c.label), c.bound) << c.name;
  }
  // Free stops (the depots of open routes, node 0 here): never paid for, never
  // passed through, a root only under an unfinished agent.
  const Case free_stop_cases[] = {
      {"not attached, nor a shortcut", {{1, 0, 1.0}, {2, 0, 5.0}, {2, 1, 7.0}}, MakeLabel(3, {1}), 7.0},
      {"without any edge", {{2, 1, 3.0}}, MakeLabel(3, {1}), 3.0},
      {"a root under its agent", triangle, MakeLabel(3, {0}), 7.0},
      {"dead under a finished agent", triangle, MakeLabel(3, {0, 1}, {}, {1, 0}), 1.0}};
  heuristic.SetFreeStops({0});
  for (const Case& c : free_stop_cases) {
    heuristic.SetEdges(c.edges);
    EXPECT_EQ(heuristic.Estimate(c.label), c.bound) << c.name;
  }
}

// The bound as first described: rescan the sorted edge list for the cheapest
// edge crossing from the covered set through live nodes.
double ReferenceEstimate(const std::vector<MstEdge>& sorted_edges, const Label& label) {
  VisitedSet covered = label.visited;
  VisitedSet dead = label.visited;
  for (size_t a = 0; a < label.positions.size(); ++a) {
    covered.set(label.positions[a]);
    if (label.finished[a] == 0) dead.reset(label.positions[a]);
  }
  double total = 0.0;
  while (covered.size > 0 && !covered.all()) {
    auto crossing = std::find_if(sorted_edges.begin(), sorted_edges.end(), [&](const MstEdge& e) {
      const auto u = static_cast<int32_t>(e.u), v = static_cast<int32_t>(e.v);
      return e.weight < 9999.0 && covered.test(u) != covered.test(v) && !dead.test(u) &&
             !dead.test(v);
    });
    if (crossing == sorted_edges.end()) return kUnreachable;
    total += crossing->weight;
    const auto u = static_cast<int32_t>(crossing->u), v = static_cast<int32_t>(crossing->v);
    covered.set(covered.test(u) ? v : u);
  }
  return total;
}

// Few cost values (many ties), blocked and missing pairs, parallel edges; sorted stably.
std::vector<MstEdge> RandomSortedEdges(int32_t n, std::mt19937& rng) {
  std::uniform_int_distribution<int> cost(1, 6);
  std::uniform_int_distribution<int> kind(0, 9);
  std::vector<MstEdge> edges;
  for (uint32_t u = 1; u < static_cast<uint32_t>(n); ++u) {
    for (uint32_t v = 0; v < u; ++v) {
      const int k = kind(rng);
      if (k == 0) continue;
      const double w = k == 1 ? 9999.0 : (k == 2 ? 20000.0 : static_cast<double>(cost(rng)));
      edges.push_back({u, v, w});
      if (k == 3) edges.push_back({u, v, w + 2.0});
    }
  }
  std::shuffle(edges.begin(), edges.end(), rng);
  std::stable_sort(edges.begin(), edges.end(),
                   [](const MstEdge& a, const MstEdge& b) { return a.weight < b.weight; });
  return edges;
}

Label RandomLabel(int32_t n, std::mt19937& rng) {
  std::uniform_int_distribution<int32_t> node(0, n - 1);
  std::bernoulli_distribution coin(0.3);
  std::vector<int32_t> positions;
  std::vector<uint8_t> finished;
  for (int a = std::uniform_int_distribution<int>(1, 4)(rng); a > 0; --a) {
    positions.push_back(node(rng));
    finished.push_back(coin(rng) ? 1 : 0);
  }
  std::vector<int32_t> visited;
  for (int32_t v = 0; v < n; ++v) {
    if (coin(rng)) visited.push_back(v);
  }
  return MakeLabel(n, std::move(positions), {}, std::move(finished), visited);
}

// The fast bound equals the rescanning one; asked to stop once it reaches `enough`,
// it returns at least `enough` and at most the full bound, and stops only where
// the full bound reaches `enough`.
TEST(DefaultHeuristicTest, MatchesTheRescanningBoundAndStopsEarlyOnlyAtTheBound) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int32_t> size(1, 14);
  DefaultHeuristic heuristic;
  int unreachable = 0;
  int early = 0;
  for (int graph = 0; graph < 300; ++graph) {
    const int32_t n = graph % 50 == 0 ? 60 : size(rng);
    const std::vector<MstEdge> edges = RandomSortedEdges(n, rng);
    heuristic.SetEdges(edges);  // replaces the previous graph's edges
    for (int trial = 0; trial < 12; ++trial) {
      const Label label = RandomLabel(n, rng);
      const double full = heuristic.Estimate(label);
      ASSERT_EQ(full, ReferenceEstimate(edges, label)) << "graph " << graph << " trial " << trial;
      unreachable += full == kUnreachable ? 1 : 0;
      for (double enough : {0.0, full * 0.3, full * 0.7, std::nextafter(full, 0.0), full,
                            std::nextafter(full, 1e300), full * 1.5, -1.0}) {
        const double got = heuristic.Estimate(label, enough);
        if (got == full) continue;
        ++early;
        EXPECT_LE(enough, full) << "stopped although the full bound stays below " << enough;
        EXPECT_GE(got, enough);
        EXPECT_LE(got, full);
      }
    }
  }
  EXPECT_GT(unreachable, 100);  // both outcomes and the early stop exercised
  EXPECT_LT(unreachable, 3000);
  EXPECT_GT(early, 1000);

  // With an edge below zero a partial sum proves nothing: never stop early.
  heuristic.SetEdges({{1, 0, 5.0}, {2, 1, -1.0}, {2, 0, 4.0}});
  const Label label = MakeLabel(3, {0});
  EXPECT_EQ(heuristic.Estimate(label, 0.5), heuristic.Estimate(label));
}

}  // namespace
}  // namespace quarn::test
