#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <tuple>

#include "graph/sparse_graph.h"
#include "plugins/composite_constraint_checker.h"
#include "plugins/default_constraint_checker.h"
#include "plugins/default_expansion.h"
#include "plugins/default_focal_comparator.h"
#include "plugins/default_objective.h"
#include "plugins/min_sum_objective.h"
#include "plugins/time_limit_constraint_checker.h"
#include "plugins/time_window_constraint_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

// A checker with fixed answers; notes the agent's cost in each arrival it is shown.
class ScriptedChecker : public ConstraintCheckerPlugin {
 public:
  std::string Name() const override { return "Scripted"; }
  void Init(const PlannerGraph*, const std::vector<Point>&,
            const std::vector<AgentEntry>&) override {}
  bool IsForbidden(int32_t, int32_t) const override { return veto; }
  ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t) const override {
    seen = child.costs[agent];
    return arrival;
  }
  BudgetCheck CheckBudget(const Label&, int32_t) const override { return BudgetCheck{!veto}; }
  bool IsDeadEnd(const Label&) const override { return veto; }

  bool veto = false;
  ArrivalCheck arrival;
  mutable double seen = -1.0;
};

// Each child sees the time the children before it corrected, on a private copy;
// a veto of any child, the last as well as the first, is the composite's.
TEST(CompositeConstraintCheckerTest, EachChildSeesTheCorrectedTimeAndAnyVetoStands) {
  CompositeConstraintChecker composite;
  std::vector<ScriptedChecker*> children;
  for (int k = 0; k < 3; ++k) {
    auto child = std::make_unique<ScriptedChecker>();
    children.push_back(child.get());
    composite.AddChild(std::move(child));
  }
  const Label label = MakeLabel(3, {0, 1}, {4.0, 9.0});
  children[0]->arrival = ArrivalCheck{true, 12.0};
  children[1]->arrival = ArrivalCheck{true, 15.0};  // the last corrects nothing: 15 stands
  const ArrivalCheck arrival = composite.CheckArrival(label, 1, 2);
  EXPECT_TRUE(arrival.feasible);
  EXPECT_EQ(arrival.time, 15.0);
  EXPECT_EQ(std::make_tuple(children[0]->seen, children[1]->seen, children[2]->seen),
            std::make_tuple(9.0, 12.0, 15.0));
  EXPECT_EQ(label.costs[1], 9.0);
  EXPECT_FALSE(composite.IsForbidden(0, 1) || composite.IsDeadEnd(label));
  EXPECT_TRUE(composite.CheckBudget(label, 0).feasible);
  for (ScriptedChecker* vetoing : {children[0], children[2]}) {
    vetoing->veto = true;
    vetoing->arrival = ArrivalCheck{false, std::nullopt};
    EXPECT_TRUE(composite.IsForbidden(0, 1));
    EXPECT_FALSE(composite.CheckBudget(label, 0).feasible);
    EXPECT_TRUE(composite.IsDeadEnd(label));
    EXPECT_FALSE(composite.CheckArrival(label, 0, 2).feasible);
    vetoing->veto = false;
    vetoing->arrival = ArrivalCheck{};
  }
}

TEST(DefaultConstraintCheckerTest, AllowsOnlyTheListedAgentTypes) {
  DefaultConstraintChecker checker;
  checker.Init(nullptr, PointsWithTypes({{0, 1}, {0}, {}}), AgentsOfTypes({0, 1, 2, -1}));
  struct Case { int32_t agent, node; bool forbidden; };
  for (const Case& c : {Case{0, 0, false}, Case{1, 0, false}, Case{2, 0, true}, Case{3, 0, true},
                        Case{1, 1, true}, Case{0, 2, true}}) {
    EXPECT_EQ(checker.IsForbidden(c.agent, c.node), c.forbidden) << c.agent << " at " << c.node;
  }
}

TEST(DefaultConstraintCheckerTest, UnvisitedNodesNeedAnUnfinishedAgentOfTheirTypes) {
  SparseGraph graph;
  graph.AddVertex(3);
  DefaultConstraintChecker checker;
  checker.Init(&graph, PointsWithTypes({{0, 1}, {0}, {0, 1}, {1}}), AgentsOfTypes({0, 0, 1}));
  struct Case { std::vector<uint8_t> finished; std::vector<int32_t> visited; bool dead; };
  for (const Case& c : {Case{{1, 1, 0}, {0, 3}, true}, Case{{1, 0, 1}, {0, 3}, false},
                        // Type 1's own node, its one agent finished, as once only type 0 was checked.
                        Case{{0, 0, 1}, {0, 1}, true}, Case{{0, 0, 0}, {0, 1}, false},
                        Case{{1, 1, 1}, {0, 1, 2, 3}, false}}) {
    const Label label = MakeLabel(4, {0, 0, 0}, {}, c.finished, c.visited);
    EXPECT_EQ(checker.IsDeadEnd(label), c.dead) << c.visited.size();
  }
}

TEST(TimeLimitConstraintCheckerTest, RejectsOnlyCostsAboveAPositiveLimit) {
  struct Case { double limit, cost; bool feasible; };
  for (const Case& c : {Case{10.0, 10.0, true}, Case{10.0, 10.000001, false}, Case{0.0, 1e12, true},
                        Case{-5.0, 1e12, true}}) {
    TimeLimitConstraintChecker checker;
    checker.Init(nullptr, PointsWithTypes({{1}}), AgentsOfTypes({0, 0}, c.limit));
    const Label child = MakeLabel(1, {0, 0}, {50.0, c.cost}, {0, 0});
    EXPECT_EQ(checker.CheckBudget(child, 1).feasible, c.feasible) << c.limit << " " << c.cost;
    EXPECT_TRUE(checker.IsForbidden(0, 0));  // the default rules still hold
  }
}

// A complete directed graph with one cost component, every arc `fill` unless set.
struct TimeWindowSetup {
  int32_t num_nodes = 0;
  double fill = 100.0;
  std::vector<std::tuple<int32_t, int32_t, double>> arcs;  // overrides, both directions
  std::vector<int32_t> agent_types, starts, ends;
  TimeWindowMap windows;
  bool return_to_end = true;
};

// One move: `agent` has just arrived at `node`; the child label has the node
// visited and the agent's cost including the arc. `time` is the corrected cost
// of a feasible arrival (set only when the agent waits).
struct Move {
  std::vector<int32_t> positions;
  std::vector<double> costs;
  std::vector<uint8_t> finished;
  std::vector<int32_t> visited;
  int32_t agent, node;
  bool feasible;
  std::optional<double> time;  // {} when the agent does not wait
};

// A goes 0 -> 2 -> 1, B goes 1 -> 3 -> 0: each ends where the other starts.
std::pair<TimeWindowSetup, std::vector<Move>> SwappingDepots(bool return_to_end) {
  const double stop = return_to_end ? 5.0 : 0.0;
  return {{4, 5.0, {}, {0, 0}, {0, 1}, {1, 0},
           {{0, {0.0, 100.0}}, {1, {0.0, 100.0}}, {2, {0.0, 100.0}}, {3, {0.0, 100.0}}}, return_to_end},
          {{{0, 1}, {5.0, 0.0}, {0, 0}, {2}, 0, 2, true, {}},
           {{2, 1}, {5.0, 5.0}, {0, 0}, {2, 3}, 1, 3, true, {}},
           {{2, 3}, {5.0 + stop, 5.0}, {1, 0}, {1, 2, 3}, 0, 1, true, {}},
           {{1, 3}, {5.0 + stop, 5.0 + stop}, {1, 1}, {0, 1, 2, 3}, 1, 0, true, {}}}};
}

// Each row: a setup and the moves checked against it in turn.
TEST(TimeWindowCheckerTest, ArrivalsWaitDetourAndLookAheadAsTheRulesSay) {
  // Agent 0 (start 0, end 3) arrives at node 1 at time 1; node 0 (window [0, 5]) is 100 away
  // from node 1: only the free return to its own start keeps node 0 within reach.
  const TimeWindowSetup own_start{4, 100.0, {{2, 1, 1.0}}, {0}, {0}, {3}, {{0, {0.0, 5.0}}}, true};
  TimeWindowSetup no_starts = own_start;
  no_starts.starts.clear();
  // Agent 0 stops at its end node 2 (window [5, 100]) from node 0 at time 0; node 1 (window
  // [0, 2], 3 away) is left to agent 1. Were the stop paid (4), the agent would have left
  // node 0 at -4, in time for a detour through node 1 that visiting node 2 first spoils.
  const TimeWindowSetup open{4, 100.0, {{0, 1, 3.0}, {0, 2, 4.0}, {1, 2, 3.0}, {1, 3, 1.0}},
                             {0, 0}, {0, 3}, {2, 3}, {{1, {0.0, 2.0}}, {2, {5.0, 100.0}}}, false};
  TimeWindowSetup closed = open;
  closed.return_to_end = true;
  // Node 3 closes at 5; agent 0 arrives at node 1 at time 2, agent 1 is at node 2 at time 1.
  // An unfinished agent next to node 3 saves it; a finished one does not.
  const TimeWindowSetup far{4, 10.0, {{0, 1, 2.0}}, {0, 0}, {0, 2}, {0, 2}, {{3, {0.0, 5.0}}}, true};
  TimeWindowSetup near = far;
  near.arcs.emplace_back(2, 3, 4.0);
  // Agent 0 waits at node 1 until 10; its own end node 3 lies on a path that arrives
  // at node 1 just as early, but going there ends the route, so it is no detour.
  const TimeWindowSetup own_end{4, 100.0, {{0, 1, 2.0}, {0, 3, 1.0}, {1, 3, 1.0}, {0, 2, 1.0}, {1, 2, 1.0}},
                                {0}, {0}, {3}, {{1, {10.0, 20.0}}}, true};
  TimeWindowSetup own_end_open = own_end;
  own_end_open.return_to_end = false;
  const std::vector<std::tuple<std::string, TimeWindowSetup, std::vector<Move>>> cases = {
      {"window [5, 8]", {2, 100.0, {{0, 1, 3.0}}, {0}, {0}, {0}, {{1, {5.0, 8.0}}}, true},
       {{{0}, {3.0}, {0}, {1}, 0, 1, true, 5.0},
        {{0}, {8.0}, {0}, {1}, 0, 1, true, {}},
        {{0}, {8.5}, {0}, {1}, 0, 1, false, {}}}},
      {"own start", own_start, {{{2}, {1.0}, {0}, {1, 2}, 0, 1, true, {}}}},
      {"no starts", no_starts, {{{2}, {1.0}, {0}, {1, 2}, 0, 1, false, {}}}},
      {"open route", open, {{{0, 3}, {0.0, 0.0}, {1, 0}, {0, 2, 3}, 0, 2, true, 5.0}}},
      {"closed route", closed, {{{0, 3}, {0.0, 0.0}, {1, 0}, {0, 2, 3}, 0, 2, false, {}}}},
      {"node 3 out of reach", far, {{{0, 2}, {2.0, 1.0}, {0, 0}, {1}, 0, 1, false, {}}}},
      {"agent 1 next to node 3", near,
       {{{0, 2}, {2.0, 1.0}, {0, 0}, {1}, 0, 1, true, {}}, {{0, 2}, {2.0, 1.0}, {0, 1}, {1}, 0, 1, false, {}}}},
      // Node 2 on the way (0->2->1 arrives at 4, like waiting at node 1) but unreachable
      // in its window once node 1 is visited first.
      {"dominated by a detour",
       {3, 100.0, {{0, 1, 1.0}, {0, 2, 2.0}, {1, 2, 2.0}}, {0}, {0}, {0}, {{1, {4.0, 50.0}}, {2, {0.0, 3.0}}}, true},
       {{{0}, {1.0}, {0}, {1}, 0, 1, false, {}}}},
      {"own end, closed", own_end, {{{0}, {2.0}, {0}, {1, 2}, 0, 1, true, 10.0}}},
      {"own end, open", own_end_open, {{{0}, {2.0}, {0}, {1, 2}, 0, 1, true, 10.0}}},
      {"swapping depots, closed", SwappingDepots(true).first, SwappingDepots(true).second},
      {"swapping depots, open", SwappingDepots(false).first, SwappingDepots(false).second},
      // Agent type 1 has no component in the one-component costs: no arc, no travel time.
      {"type 1", {3, 100.0, {}, {1}, {0}, {0}, {{2, {0.0, 5.0}}}, true}, {{{0}, {1.0}, {0}, {1}, 0, 1, true, {}}}}};
  for (const auto& [name, setup, moves] : cases) {
    SparseGraph graph;
    for (int32_t u = 0; u < setup.num_nodes; ++u) {
      for (int32_t v = 0; v < setup.num_nodes; ++v) {
        if (u != v) graph.AddArc(u, v, {setup.fill});
      }
    }
    for (const auto& [u, v, cost] : setup.arcs) {
      graph.SetArcCost(u, v, {cost});
      graph.SetArcCost(v, u, {cost});
    }
    TimeWindowConstraintChecker checker;
    const std::vector<std::vector<int32_t>> types(static_cast<size_t>(setup.num_nodes), {0, 1});
    checker.Init(&graph, PointsWithTypes(types), AgentsOfTypes(setup.agent_types));
    checker.SetReturnToEnd(setup.return_to_end);
    checker.SetStarts(setup.starts);
    checker.SetEnds(setup.ends);
    checker.SetTimeWindows(setup.windows);
    for (size_t k = 0; k < moves.size(); ++k) {
      const Move& m = moves[k];
      const ArrivalCheck check = checker.CheckArrival(
          MakeLabel(setup.num_nodes, m.positions, m.costs, m.finished, m.visited), m.agent, m.node);
      EXPECT_EQ(check.feasible, m.feasible) << name << ", move " << k;
      if (m.feasible) {
        EXPECT_EQ(check.time, m.time) << name << ", move " << k;
      }
    }
  }
}

TEST(DefaultExpansionTest, PicksTheCheapestUnfinishedAgentLowestIndexFirst) {
  const double kMax = std::numeric_limits<double>::max();
  const double kInf = std::numeric_limits<double>::infinity();
  DefaultExpansion expansion;
  expansion.SetEnds({0, 0, 0});
  struct Case { std::vector<double> costs; std::vector<uint8_t> finished; int32_t agent; };
  for (const Case& c : {Case{{5, 3, 3}, {0, 0, 0}, 1}, Case{{5, 3, 3}, {0, 1, 0}, 2},
                        Case{{5, 3, 3}, {1, 1, 1}, -1}, Case{{kMax, kInf, 9}, {0, 0, 1}, -1}}) {
    EXPECT_EQ(expansion.SelectAgent(MakeLabel(1, {0, 0, 0}, c.costs, c.finished)), c.agent);
  }
  expansion.SetEnds({});
  EXPECT_EQ(expansion.SelectAgent(MakeLabel(1, {0}, {1.0}, {0})), -1);
}

TEST(ObjectiveTest, MinMaxTakesTheLongestRouteOrTheSharedRemainderAndMinSumAdds) {
  const Label label = MakeLabel(1, {0, 0, 0}, {2, 7, 4}, {1, 0, 0});
  DefaultObjective min_max;
  EXPECT_EQ(min_max.Evaluate({2, 7, 4}), 7.0);
  EXPECT_EQ(min_max.Evaluate({}), 0.0);
  EXPECT_EQ(min_max.Combine(label, 5.0, 2), 8.0);
  EXPECT_EQ(min_max.Combine(label, 1.0, 2), 7.0);
  EXPECT_EQ(min_max.Combine(label, 100.0, 0), 7.0);
  MinSumObjective min_sum;
  EXPECT_EQ(min_sum.Evaluate({2, 7, 4}), 13.0);
  EXPECT_EQ(min_sum.Combine(label, 5.0, 2), 18.0);
}

TEST(DefaultFocalComparatorTest, DeeperFirstThenSmallerFThenSmallerCostSum) {
  DefaultFocalComparator less;
  // id, visited_count, remaining, f, cost_sum; each goes before the next.
  const FocalEntry order[] = {{1, 6, 2, 50.0, 50.0}, {5, 5, 1, 9.0, 3.0}, {4, 5, 2, 9.0, 99.0},
                              {3, 5, 2, 10.0, 0.0}};
  for (size_t i = 0; i + 1 < std::size(order); ++i) {
    EXPECT_TRUE(less.Compare(order[i], order[i + 1])) << i;
    EXPECT_FALSE(less.Compare(order[i + 1], order[i])) << i;
  }
  const FocalEntry twin{6, 5, 0, 9.0, 99.0};  // only id and remaining differ: neither goes first
  EXPECT_FALSE(less.Compare(order[2], twin));
  EXPECT_FALSE(less.Compare(twin, order[2]));
}

}  // namespace
}  // namespace quarn::test
