#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "graph/sparse_graph.h"
#include "plugins/composite_constraint_checker.h"
#include "plugins/composite_post_optimizer.h"
#include "plugins/default_constraint_checker.h"
#include "plugins/default_expansion.h"
#include "plugins/default_focal_comparator.h"
#include "plugins/default_objective.h"
#include "plugins/min_sum_objective.h"
#include "plugins/time_limit_constraint_checker.h"
#include "plugins/time_window_constraint_checker.h"

namespace quarn {
namespace {

using Calls = std::vector<std::string>;

Label MakeLabel(int32_t num_nodes, std::vector<int32_t> positions, std::vector<double> costs,
                std::vector<uint8_t> finished, const std::vector<int32_t>& visited = {}) {
  Label label;
  label.visited = VisitedSet(num_nodes);
  for (int32_t v : visited) label.visited.set(v);
  label.positions = std::move(positions);
  label.costs = std::move(costs);
  label.finished = std::move(finished);
  label.remaining =
      static_cast<int32_t>(std::count(label.finished.begin(), label.finished.end(), 0));
  return label;
}

std::vector<Point> PointsWithTypes(const std::vector<std::vector<int32_t>>& types) {
  std::vector<Point> points(types.size());
  for (size_t i = 0; i < types.size(); ++i) points[i].types = types[i];
  return points;
}

std::vector<AgentEntry> AgentsOfTypes(const std::vector<int32_t>& types, double limit = 0.0) {
  std::vector<AgentEntry> agents(types.size());
  for (size_t i = 0; i < types.size(); ++i) {
    agents[i].type = types[i];
    agents[i].time_limit = limit;
  }
  return agents;
}

// A checker with fixed answers that records what it was asked and the cost it saw.
class ScriptedChecker : public ConstraintCheckerPlugin {
 public:
  ScriptedChecker(std::string tag, Calls& calls) : tag_(std::move(tag)), calls_(calls) {}
  std::string Name() const override { return "Scripted"; }
  void Init(const PlannerGraph*, const std::vector<Point>&,
            const std::vector<AgentEntry>&) override {}
  bool IsForbidden(int32_t, int32_t) const override {
    Note("IsForbidden");
    return veto;
  }
  ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t) const override {
    Note("CheckArrival@" + std::to_string(static_cast<int>(child.costs[agent])));
    return arrival;
  }
  BudgetCheck CheckBudget(const Label&, int32_t) const override {
    Note("CheckBudget");
    return BudgetCheck{!veto};
  }
  bool IsDeadEnd(const Label&) const override {
    Note("IsDeadEnd");
    return veto;
  }

  bool veto = false;
  ArrivalCheck arrival;

 private:
  void Note(const std::string& call) const { calls_.push_back(tag_ + "." + call); }
  std::string tag_;
  Calls& calls_;
};

class CompositeConstraintCheckerTest : public testing::Test {
 protected:
  ScriptedChecker& Add(const std::string& tag) {
    auto child = std::make_unique<ScriptedChecker>(tag, calls_);
    ScriptedChecker& ref = *child;
    composite_.AddChild(std::move(child));
    return ref;
  }

  Calls calls_;
  CompositeConstraintChecker composite_;
  Label child_ = MakeLabel(3, {0, 1}, {4.0, 9.0}, {0, 0});
};

// Each child sees the time the children before it corrected, on a private copy.
TEST_F(CompositeConstraintCheckerTest, HandsEachChildTheTimeCorrectedBefore) {
  Add("A").arrival = ArrivalCheck{true, 12.0};
  Add("B").arrival = ArrivalCheck{true, 15.0};
  Add("C");  // corrects nothing: the earlier correction stands
  const ArrivalCheck arrival = composite_.CheckArrival(child_, 1, 2);
  EXPECT_TRUE(arrival.feasible);
  EXPECT_EQ(arrival.time, 15.0);
  EXPECT_EQ(calls_, (Calls{"A.CheckArrival@9", "B.CheckArrival@12", "C.CheckArrival@15"}));
  EXPECT_EQ(child_.costs[1], 9.0);
}

TEST_F(CompositeConstraintCheckerTest, AsksChildrenInOrderAndStopsAtTheFirstVeto) {
  ScriptedChecker& a = Add("A");
  Add("B");
  EXPECT_FALSE(composite_.IsForbidden(0, 1));
  EXPECT_FALSE(composite_.IsDeadEnd(child_));
  EXPECT_EQ(calls_, (Calls{"A.IsForbidden", "B.IsForbidden", "A.IsDeadEnd", "B.IsDeadEnd"}));
  calls_.clear();
  a.veto = true;
  a.arrival = ArrivalCheck{false, 3.5};
  EXPECT_TRUE(composite_.IsForbidden(0, 1));
  EXPECT_FALSE(composite_.CheckBudget(child_, 0).feasible);
  EXPECT_TRUE(composite_.IsDeadEnd(child_));
  const ArrivalCheck arrival = composite_.CheckArrival(child_, 0, 2);
  EXPECT_FALSE(arrival.feasible);
  EXPECT_EQ(arrival.time, 3.5);  // the vetoing child's record
  EXPECT_EQ(calls_, (Calls{"A.IsForbidden", "A.CheckBudget", "A.IsDeadEnd", "A.CheckArrival@4"}));
}

// Records the setters it receives and appends its tag to agent 0's route, so the
// order of the calls and the hand-over of the result show.
class TaggingPostOptimizer : public PostOptimizerPlugin {
 public:
  TaggingPostOptimizer(int32_t tag, Calls& calls) : tag_(tag), calls_(calls) {}
  std::string Name() const override { return "Tagging"; }
  void Optimize(const PlannerGraph*, const std::vector<Point>&, const std::vector<AgentEntry>&,
                Result& result) override {
    result.paths[0].push_back(tag_);
  }
  void SetReturnToEnd(bool value) override { Note("return", value ? 1 : 0); }
  void SetStarts(const std::vector<int32_t>& s) override { Note("starts", s.size()); }
  void SetEnds(const std::vector<int32_t>& e) override { Note("ends", e.size()); }
  void SetTimeWindows(const TimeWindowMap& w) override { Note("windows", w.size()); }

 private:
  void Note(const std::string& what, size_t n) {
    calls_.push_back(std::to_string(tag_) + what + std::to_string(n));
  }
  int32_t tag_;
  Calls& calls_;
};

TEST(CompositePostOptimizerTest, ForwardsEveryCallToTheChildrenInOrder) {
  Calls calls;
  CompositePostOptimizer composite;
  composite.AddChild(std::make_unique<TaggingPostOptimizer>(1, calls));
  composite.AddChild(std::make_unique<TaggingPostOptimizer>(2, calls));
  composite.SetReturnToEnd(true);
  composite.SetStarts({0, 1});
  composite.SetEnds({2});
  composite.SetTimeWindows({{0, {1.0, 2.0}}});
  Result result;
  result.paths[0] = {7};
  composite.Optimize(nullptr, {}, {}, result);
  EXPECT_EQ(result.paths[0], (std::vector<int32_t>{7, 1, 2}));
  EXPECT_EQ(calls, (Calls{"1return1", "2return1", "1starts2", "2starts2", "1ends1", "2ends1",
                          "1windows1", "2windows1"}));
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

TEST(DefaultConstraintCheckerTest, TypeZeroNodesNeedAnUnfinishedTypeZeroAgent) {
  SparseGraph graph;
  graph.AddVertex(2);
  DefaultConstraintChecker checker;
  checker.Init(&graph, PointsWithTypes({{0, 1}, {0}, {0, 1}}), AgentsOfTypes({0, 0, 1}));
  EXPECT_TRUE(checker.IsDeadEnd(MakeLabel(3, {0, 0, 0}, {0, 0, 0}, {1, 1, 0}, {0})));
  EXPECT_FALSE(checker.IsDeadEnd(MakeLabel(3, {0, 0, 0}, {0, 0, 0}, {1, 0, 1}, {0})));
  // Only nodes open to both types unvisited.
  EXPECT_FALSE(checker.IsDeadEnd(MakeLabel(3, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, {1})));
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
  std::vector<int32_t> agent_types;
  std::vector<int32_t> starts;
  std::vector<int32_t> ends;
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

void ExpectMoves(const TimeWindowSetup& setup, const std::vector<Move>& moves,
                 const std::string& name) {
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

TEST(TimeWindowCheckerTest, WaitsForAnOpeningWindowAndRejectsAClosedOne) {
  ExpectMoves({2, 100.0, {{0, 1, 3.0}}, {0}, {0}, {0}, {{1, {5.0, 8.0}}}, true},
              {{{0}, {3.0}, {0}, {1}, 0, 1, true, 5.0},
               {{0}, {8.0}, {0}, {1}, 0, 1, true, {}},
               {{0}, {8.5}, {0}, {1}, 0, 1, false, {}}}, "window [5, 8]");
}

// Agent 0 (start 0, end 3) arrives at node 1 at time 1; node 0 (window [0, 5]) is 100 away
// from node 1: only the free return to its own start keeps node 0 within reach.
TEST(TimeWindowCheckerTest, TravelToTheAgentsOwnStartIsFree) {
  TimeWindowSetup setup{4, 100.0, {{2, 1, 1.0}}, {0}, {0}, {3}, {{0, {0.0, 5.0}}}, true};
  ExpectMoves(setup, {{{2}, {1.0}, {0}, {1, 2}, 0, 1, true, {}}}, "own start");
  setup.starts.clear();
  ExpectMoves(setup, {{{2}, {1.0}, {0}, {1, 2}, 0, 1, false, {}}}, "no starts");
}

// Agent 0 stops at its end node 2 (window [5, 100]) from node 0 at time 0; node 1 (window
// [0, 2], 3 away) is left to agent 1. Were the stop paid (4), the agent would have left
// node 0 at -4, in time for a detour through node 1 that visiting node 2 first spoils.
TEST(TimeWindowCheckerTest, WithoutReturnTravelToTheAgentsOwnEndIsFree) {
  TimeWindowSetup setup{4, 100.0, {{0, 1, 3.0}, {0, 2, 4.0}, {1, 2, 3.0}, {1, 3, 1.0}},
                        {0, 0}, {0, 3}, {2, 3}, {{1, {0.0, 2.0}}, {2, {5.0, 100.0}}}, false};
  const Move stop{{0, 3}, {0.0, 0.0}, {1, 0}, {0, 2, 3}, 0, 2, true, 5.0};
  ExpectMoves(setup, {stop}, "open route");
  setup.return_to_end = true;
  Move paid = stop;
  paid.feasible = false;
  ExpectMoves(setup, {paid}, "closed route");
}

// Node 3 closes at 5; agent 0 arrives at node 1 at time 2, agent 1 is at node 2 at time 1.
TEST(TimeWindowCheckerTest, RejectsAStateWhoseOpenNodeNoUnfinishedAgentCanStillReach) {
  TimeWindowSetup setup{4, 10.0, {{0, 1, 2.0}}, {0, 0}, {0, 2}, {0, 2}, {{3, {0.0, 5.0}}}, true};
  ExpectMoves(setup, {{{0, 2}, {2.0, 1.0}, {0, 0}, {1}, 0, 1, false, {}}}, "node 3 out of reach");
  // An unfinished agent next to node 3 saves it; a finished one does not.
  setup.arcs.emplace_back(2, 3, 4.0);
  ExpectMoves(setup, {{{0, 2}, {2.0, 1.0}, {0, 0}, {1}, 0, 1, true, {}},
                      {{0, 2}, {2.0, 1.0}, {0, 1}, {1}, 0, 1, false, {}}},
              "agent 1 next to node 3");
}

TEST(TimeWindowCheckerTest, DetoursThroughOtherNodesButNotThroughTheAgentsOwnEnd) {
  // Node 2 on the way (0->2->1 arrives at 4, like waiting at node 1) but unreachable
  // in its window once node 1 is visited first.
  ExpectMoves({3, 100.0, {{0, 1, 1.0}, {0, 2, 2.0}, {1, 2, 2.0}}, {0}, {0}, {0},
               {{1, {4.0, 50.0}}, {2, {0.0, 3.0}}}, true},
              {{{0}, {1.0}, {0}, {1}, 0, 1, false, {}}}, "dominated by a detour");
  // Agent 0 waits at node 1 until 10; its own end node 3 lies on a path that arrives
  // at node 1 just as early, but going there ends the route, so it is no detour.
  for (bool return_to_end : {true, false}) {
    ExpectMoves({4, 100.0, {{0, 1, 2.0}, {0, 3, 1.0}, {1, 3, 1.0}, {0, 2, 1.0}, {1, 2, 1.0}},
                 {0}, {0}, {3}, {{1, {10.0, 20.0}}}, return_to_end},
                {{{0}, {2.0}, {0}, {1, 2}, 0, 1, true, 10.0}},
                "own end, return " + std::to_string(return_to_end));
  }
}

// A goes 0 -> 2 -> 1, B goes 1 -> 3 -> 0: each ends where the other starts.
TEST(TimeWindowCheckerTest, AgentsSwappingDepotsCanCompleteTheirRoutes) {
  for (bool return_to_end : {true, false}) {
    const double stop = return_to_end ? 5.0 : 0.0;
    ExpectMoves({4, 5.0, {}, {0, 0}, {0, 1}, {1, 0},
                 {{0, {0.0, 100.0}}, {1, {0.0, 100.0}}, {2, {0.0, 100.0}}, {3, {0.0, 100.0}}},
                 return_to_end},
                {{{0, 1}, {5.0, 0.0}, {0, 0}, {2}, 0, 2, true, {}},
                 {{2, 1}, {5.0, 5.0}, {0, 0}, {2, 3}, 1, 3, true, {}},
                 {{2, 3}, {5.0 + stop, 5.0}, {1, 0}, {1, 2, 3}, 0, 1, true, {}},
                 {{1, 3}, {5.0 + stop, 5.0 + stop}, {1, 1}, {0, 1, 2, 3}, 1, 0, true, {}}},
                "return " + std::to_string(return_to_end));
  }
}

// Agent type 1 has no component in the one-component costs: no arc, no travel time.
TEST(TimeWindowCheckerTest, ATypeWithoutACostComponentTravelsForFree) {
  ExpectMoves({3, 100.0, {}, {1}, {0}, {0}, {{2, {0.0, 5.0}}}, true},
              {{{0}, {1.0}, {0}, {1}, 0, 1, true, {}}}, "type 1");
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
}  // namespace quarn
