#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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
#include "plugins/default_heuristic.h"
#include "plugins/default_objective.h"
#include "plugins/min_sum_objective.h"
#include "plugins/time_limit_constraint_checker.h"
#include "plugins/time_window_constraint_checker.h"

namespace quarn {
namespace {

Label MakeLabel(int32_t num_nodes, std::vector<int32_t> positions, std::vector<double> costs,
                std::vector<uint8_t> finished, const std::vector<int32_t>& visited = {}) {
  Label label;
  label.visited = VisitedSet(num_nodes);
  for (int32_t v : visited) label.visited.set(v);
  label.positions = std::move(positions);
  label.costs = std::move(costs);
  label.finished = std::move(finished);
  label.remaining = static_cast<int32_t>(
      std::count(label.finished.begin(), label.finished.end(), uint8_t{0}));
  return label;
}

std::vector<Point> PointsWithTypes(const std::vector<std::vector<int32_t>>& types) {
  std::vector<Point> points(types.size());
  for (size_t i = 0; i < types.size(); ++i) points[i].types = types[i];
  return points;
}

std::vector<AgentEntry> AgentsOfTypes(const std::vector<int32_t>& types) {
  std::vector<AgentEntry> agents(types.size());
  for (size_t i = 0; i < types.size(); ++i) agents[i].type = types[i];
  return agents;
}

// ---------------------------------------------------------------- names

TEST(PluginNamesTest, EveryPluginReportsItsName) {
  const std::vector<std::pair<std::unique_ptr<PluginBase>, std::string>> cases = [] {
    std::vector<std::pair<std::unique_ptr<PluginBase>, std::string>> c;
    c.emplace_back(std::make_unique<DefaultHeuristic>(), "DefaultHeuristic");
    c.emplace_back(std::make_unique<DefaultConstraintChecker>(), "DefaultConstraintChecker");
    c.emplace_back(std::make_unique<TimeLimitConstraintChecker>(), "TimeLimitConstraintChecker");
    c.emplace_back(std::make_unique<TimeWindowConstraintChecker>(), "TimeConstraintChecker");
    c.emplace_back(std::make_unique<CompositeConstraintChecker>(), "CompositeConstraintChecker");
    c.emplace_back(std::make_unique<DefaultExpansion>(), "DefaultExpansion");
    c.emplace_back(std::make_unique<DefaultObjective>(), "DefaultObjective");
    c.emplace_back(std::make_unique<MinSumObjective>(), "MinSumObjective");
    c.emplace_back(std::make_unique<DefaultFocalComparator>(), "DefaultFocalComparator");
    c.emplace_back(std::make_unique<CompositePostOptimizer>(), "CompositePostOptimizer");
    return c;
  }();
  for (const auto& [plugin, name] : cases) EXPECT_EQ(plugin->Name(), name);
}

// ---------------------------------------------------------------- composites

// A checker with fixed answers that records what it was asked.
class ScriptedChecker : public ConstraintCheckerPlugin {
 public:
  struct Log {
    std::vector<std::string> calls;
    std::vector<double> seen_costs;
    int destroyed = 0;
  };
  ScriptedChecker(std::string tag, Log& log) : tag_(std::move(tag)), log_(log) {}
  ~ScriptedChecker() override { ++log_.destroyed; }

  std::string Name() const override { return "Scripted"; }
  void Init(const PlannerGraph*, const std::vector<Point>& points,
            const std::vector<AgentEntry>&) override {
    log_.calls.push_back(tag_ + ".Init" + std::to_string(points.size()));
  }
  bool IsForbidden(int32_t, int32_t) const override {
    log_.calls.push_back(tag_ + ".IsForbidden");
    return forbid;
  }
  ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t) const override {
    log_.calls.push_back(tag_ + ".CheckArrival");
    log_.seen_costs.push_back(child.costs[agent]);
    return arrival;
  }
  BudgetCheck CheckBudget(const Label&, int32_t) const override {
    log_.calls.push_back(tag_ + ".CheckBudget");
    return BudgetCheck{budget_ok};
  }
  bool IsDeadEnd(const Label&) const override {
    log_.calls.push_back(tag_ + ".IsDeadEnd");
    return dead_end;
  }

  bool forbid = false;
  ArrivalCheck arrival;
  bool budget_ok = true;
  bool dead_end = false;

 private:
  std::string tag_;
  Log& log_;
};

class CompositeConstraintCheckerTest : public testing::Test {
 protected:
  ScriptedChecker& Add(const std::string& tag) {
    auto child = std::make_unique<ScriptedChecker>(tag, log_);
    ScriptedChecker& ref = *child;
    composite_.AddChild(std::move(child));
    return ref;
  }

  ScriptedChecker::Log log_;
  CompositeConstraintChecker composite_;
  Label child_ = MakeLabel(3, {0, 1}, {4.0, 9.0}, {0, 0});
};

TEST_F(CompositeConstraintCheckerTest, WithoutChildrenAllowsEverything) {
  EXPECT_FALSE(composite_.IsForbidden(0, 1));
  const ArrivalCheck arrival = composite_.CheckArrival(child_, 0, 2);
  EXPECT_TRUE(arrival.feasible);
  EXPECT_FALSE(arrival.time.has_value());
  EXPECT_TRUE(composite_.CheckBudget(child_, 0).feasible);
  EXPECT_FALSE(composite_.IsDeadEnd(child_));
}

TEST_F(CompositeConstraintCheckerTest, HandsEachChildTheTimeCorrectedBefore) {
  Add("A").arrival = ArrivalCheck{true, 12.0};
  Add("B").arrival = ArrivalCheck{true, 15.0};
  const ArrivalCheck arrival = composite_.CheckArrival(child_, 1, 2);
  EXPECT_TRUE(arrival.feasible);
  EXPECT_EQ(arrival.time, 15.0);
  EXPECT_EQ(log_.seen_costs, (std::vector<double>{9.0, 12.0}));
  EXPECT_EQ(child_.costs[1], 9.0);  // the caller's label is left alone
}

TEST_F(CompositeConstraintCheckerTest, ReportsATimeWhenOnlyAnEarlierChildCorrected) {
  Add("A").arrival = ArrivalCheck{true, 12.0};
  Add("B");
  EXPECT_EQ(composite_.CheckArrival(child_, 1, 2).time, 12.0);
}

TEST_F(CompositeConstraintCheckerTest, StopsAtTheFirstInfeasibleArrivalAndReturnsItsRecord) {
  Add("A").arrival = ArrivalCheck{false, 3.5};
  Add("B");
  const ArrivalCheck arrival = composite_.CheckArrival(child_, 0, 2);
  EXPECT_FALSE(arrival.feasible);
  EXPECT_EQ(arrival.time, 3.5);
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"A.CheckArrival"}));
}

TEST_F(CompositeConstraintCheckerTest, AnyVetoWinsAndLaterChildrenAreNotAsked) {
  ScriptedChecker& a = Add("A");
  a.forbid = true;
  a.budget_ok = false;
  a.dead_end = true;
  Add("B");
  EXPECT_TRUE(composite_.IsForbidden(0, 1));
  EXPECT_FALSE(composite_.CheckBudget(child_, 0).feasible);
  EXPECT_TRUE(composite_.IsDeadEnd(child_));
  EXPECT_EQ(log_.calls,
            (std::vector<std::string>{"A.IsForbidden", "A.CheckBudget", "A.IsDeadEnd"}));
}

TEST_F(CompositeConstraintCheckerTest, AsksEveryChildInOrderWhenNoneVetoes) {
  Add("A");
  Add("B");
  composite_.Init(nullptr, PointsWithTypes({{0}, {0}}), {});
  EXPECT_FALSE(composite_.IsForbidden(0, 1));
  EXPECT_FALSE(composite_.IsDeadEnd(child_));
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"A.Init2", "B.Init2", "A.IsForbidden",
                                                  "B.IsForbidden", "A.IsDeadEnd", "B.IsDeadEnd"}));
}

TEST(CompositeOwnershipTest, CompositesDestroyTheirChildren) {
  ScriptedChecker::Log log;
  {
    CompositeConstraintChecker composite;
    composite.AddChild(std::make_unique<ScriptedChecker>("A", log));
    composite.AddChild(std::make_unique<ScriptedChecker>("B", log));
    EXPECT_EQ(composite.children().size(), 2u);
  }
  EXPECT_EQ(log.destroyed, 2);
}

// Appends its tag to agent 0's route, so the order of the calls shows in the result.
class TaggingPostOptimizer : public PostOptimizerPlugin {
 public:
  TaggingPostOptimizer(int32_t tag, std::vector<std::string>& log) : tag_(tag), log_(log) {}
  std::string Name() const override { return "Tagging"; }
  void Optimize(const PlannerGraph*, const std::vector<Point>&, const std::vector<AgentEntry>&,
                Result& result) override {
    result.paths[0].push_back(tag_);
  }
  void SetReturnToEnd(bool value) override { Note("return" + std::to_string(value)); }
  void SetStarts(const std::vector<int32_t>& s) override { Note("starts" + std::to_string(s.size())); }
  void SetEnds(const std::vector<int32_t>& e) override { Note("ends" + std::to_string(e.size())); }
  void SetTimeWindows(const TimeWindowMap& w) override { Note("windows" + std::to_string(w.size())); }

 private:
  void Note(const std::string& what) { log_.push_back(std::to_string(tag_) + what); }
  int32_t tag_;
  std::vector<std::string>& log_;
};

TEST(CompositePostOptimizerTest, ForwardsEveryCallToTheChildrenInOrder) {
  std::vector<std::string> log;
  CompositePostOptimizer composite;
  composite.AddChild(std::make_unique<TaggingPostOptimizer>(1, log));
  composite.AddChild(std::make_unique<TaggingPostOptimizer>(2, log));
  composite.SetReturnToEnd(true);
  composite.SetStarts({0, 1});
  composite.SetEnds({2});
  composite.SetTimeWindows({{0, {1.0, 2.0}}});
  Result result;
  result.paths[0] = {7};
  composite.Optimize(nullptr, {}, {}, result);
  EXPECT_EQ(result.paths[0], (std::vector<int32_t>{7, 1, 2}));
  EXPECT_EQ(log, (std::vector<std::string>{"1return1", "2return1", "1starts2", "2starts2", "1ends1",
                                           "2ends1", "1windows1", "2windows1"}));
  EXPECT_EQ(composite.children().size(), 2u);
}

// ---------------------------------------------------------------- default checker

TEST(DefaultConstraintCheckerTest, AllowsOnlyTheListedAgentTypes) {
  DefaultConstraintChecker checker;
  checker.Init(nullptr, PointsWithTypes({{0, 1}, {0}, {}}), AgentsOfTypes({0, 1, 2, -1}));
  struct Case { int32_t agent, node; bool forbidden; };
  const Case cases[] = {{0, 0, false}, {1, 0, false}, {2, 0, true}, {3, 0, true},
                        {0, 1, false}, {1, 1, true},  {0, 2, true}, {1, 2, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(checker.IsForbidden(c.agent, c.node), c.forbidden)
        << "agent " << c.agent << " node " << c.node;
  }
}

TEST(DefaultConstraintCheckerTest, TypeZeroNodesNeedAnUnfinishedTypeZeroAgent) {
  SparseGraph graph;
  graph.AddVertex(2);
  DefaultConstraintChecker checker;
  checker.Init(&graph, PointsWithTypes({{0, 1}, {0}, {0, 1}}), AgentsOfTypes({0, 0, 1}));
  // Node 1 (type 0 only) unvisited.
  EXPECT_TRUE(checker.IsDeadEnd(MakeLabel(3, {0, 0, 0}, {0, 0, 0}, {1, 1, 0}, {0})));
  EXPECT_FALSE(checker.IsDeadEnd(MakeLabel(3, {0, 0, 0}, {0, 0, 0}, {1, 0, 1}, {0})));
  // Only nodes open to both types unvisited.
  EXPECT_FALSE(checker.IsDeadEnd(MakeLabel(3, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, {1})));
}

TEST(DefaultConstraintCheckerTest, AcceptsEveryArrivalAndBudget) {
  DefaultConstraintChecker checker;
  checker.Init(nullptr, PointsWithTypes({{0}}), AgentsOfTypes({0}));
  const Label child = MakeLabel(1, {0}, {1e9}, {0});
  EXPECT_TRUE(checker.CheckArrival(child, 0, 0).feasible);
  EXPECT_FALSE(checker.CheckArrival(child, 0, 0).time.has_value());
  EXPECT_TRUE(checker.CheckBudget(child, 0).feasible);
}

// ---------------------------------------------------------------- time limit

TEST(TimeLimitConstraintCheckerTest, RejectsOnlyCostsAboveAPositiveLimit) {
  struct Case { double limit, cost; bool feasible; };
  const Case cases[] = {{10.0, 10.0, true}, {10.0, 10.000001, false}, {10.0, 3.0, true},
                        {0.0, 1e12, true},  {-5.0, 1e12, true}};
  for (const Case& c : cases) {
    std::vector<AgentEntry> agents = AgentsOfTypes({0, 0});
    agents[1].time_limit = c.limit;
    TimeLimitConstraintChecker checker;
    checker.Init(nullptr, PointsWithTypes({{0}}), agents);
    EXPECT_EQ(checker.CheckBudget(MakeLabel(1, {0, 0}, {50.0, c.cost}, {0, 0}), 1).feasible,
              c.feasible)
        << "limit " << c.limit << " cost " << c.cost;
  }
}

TEST(TimeLimitConstraintCheckerTest, LeavesAssignmentAndDeadEndsToTheDefaultRules) {
  TimeLimitConstraintChecker checker;
  checker.Init(nullptr, PointsWithTypes({{1}, {0}}), AgentsOfTypes({0}));
  EXPECT_TRUE(checker.IsForbidden(0, 0));
  EXPECT_FALSE(checker.IsForbidden(0, 1));
  EXPECT_TRUE(checker.IsDeadEnd(MakeLabel(2, {0}, {0.0}, {1})));
  EXPECT_TRUE(checker.CheckArrival(MakeLabel(2, {0}, {0.0}, {0}), 0, 1).feasible);
}

// ---------------------------------------------------------------- time windows

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

class TimeWindowCheckerTest : public testing::Test {
 protected:
  void Build(const TimeWindowSetup& setup) {
    num_nodes_ = setup.num_nodes;
    graph_ = SparseGraph();
    for (int32_t u = 0; u < setup.num_nodes; ++u) {
      for (int32_t v = 0; v < setup.num_nodes; ++v) {
        if (u != v) graph_.AddArc(u, v, {setup.fill});
      }
    }
    for (const auto& [u, v, cost] : setup.arcs) {
      graph_.SetArcCost(u, v, {cost});
      graph_.SetArcCost(v, u, {cost});
    }
    checker_ = TimeWindowConstraintChecker();
    std::vector<std::vector<int32_t>> types(static_cast<size_t>(setup.num_nodes), {0, 1});
    checker_.Init(&graph_, PointsWithTypes(types), AgentsOfTypes(setup.agent_types));
    checker_.SetReturnToEnd(setup.return_to_end);
    checker_.SetStarts(setup.starts);
    checker_.SetEnds(setup.ends);
    checker_.SetTimeWindows(setup.windows);
  }

  // The child of moving `agent` to `node`: node visited, cost already includes the arc.
  Label Child(std::vector<int32_t> positions, std::vector<double> costs,
              std::vector<uint8_t> finished, std::vector<int32_t> visited) const {
    return MakeLabel(num_nodes_, std::move(positions), std::move(costs), std::move(finished),
                     visited);
  }

  int32_t num_nodes_ = 0;
  SparseGraph graph_;
  TimeWindowConstraintChecker checker_;
};

TEST_F(TimeWindowCheckerTest, WaitsForAnOpeningWindowAndRejectsAClosedOne) {
  Build({2, 100.0, {{0, 1, 3.0}}, {0}, {0}, {0}, {{1, {5.0, 8.0}}}, true});
  struct Case { double arrival; bool feasible; std::optional<double> time; };
  const Case cases[] = {{3.0, true, 5.0}, {8.0, true, std::nullopt}, {8.5, false, std::nullopt}};
  for (const Case& c : cases) {
    const ArrivalCheck check = checker_.CheckArrival(Child({0}, {c.arrival}, {0}, {1}), 0, 1);
    EXPECT_EQ(check.feasible, c.feasible) << "arrival " << c.arrival;
    EXPECT_EQ(check.time, c.time) << "arrival " << c.arrival;
  }
}

// Agent 0 (start 0, end 3) arrives at node 1 at time 1; node 0 (window [0, 5]) is 100 away
// from node 1: only the free return to its own start keeps node 0 within reach.
TEST_F(TimeWindowCheckerTest, TravelToTheAgentsOwnStartIsFree) {
  TimeWindowSetup setup{4, 100.0, {{2, 1, 1.0}}, {0}, {0}, {3}, {{0, {0.0, 5.0}}}, true};
  Build(setup);
  const Label child = Child({2}, {1.0}, {0}, {1, 2});
  EXPECT_TRUE(checker_.CheckArrival(child, 0, 1).feasible);
  setup.starts.clear();
  Build(setup);
  EXPECT_FALSE(checker_.CheckArrival(child, 0, 1).feasible);
}

// Agent 0 stops at its end node 2 (window [5, 100]) from node 0 at time 0; node 1 (window
// [0, 2], 3 away) is left to agent 1. Were the stop paid (4), the agent would have left
// node 0 at -4, in time for a detour through node 1 that visiting node 2 first spoils.
TEST_F(TimeWindowCheckerTest, WithoutReturnTravelToTheAgentsOwnEndIsFree) {
  TimeWindowSetup setup{4, 100.0, {{0, 1, 3.0}, {0, 2, 4.0}, {1, 2, 3.0}, {1, 3, 1.0}},
                        {0, 0}, {0, 3}, {2, 3}, {{1, {0.0, 2.0}}, {2, {5.0, 100.0}}}, false};
  Build(setup);
  const Label child = Child({0, 3}, {0.0, 0.0}, {1, 0}, {0, 2, 3});
  const ArrivalCheck check = checker_.CheckArrival(child, 0, 2);
  EXPECT_TRUE(check.feasible);
  EXPECT_EQ(check.time, 5.0);
  setup.return_to_end = true;
  Build(setup);
  EXPECT_FALSE(checker_.CheckArrival(child, 0, 2).feasible);
}

TEST_F(TimeWindowCheckerTest, RejectsAStateWhoseOpenNodeNoUnfinishedAgentCanStillReach) {
  // Node 3 closes at 5; agent 0 arrives at node 1 at time 2, agent 1 is at node 2 at time 1.
  TimeWindowSetup setup{4, 10.0, {{0, 1, 2.0}}, {0, 0}, {0, 2}, {0, 2}, {{3, {0.0, 5.0}}}, true};
  Build(setup);
  const Label child = Child({0, 2}, {2.0, 1.0}, {0, 0}, {1});
  EXPECT_FALSE(checker_.CheckArrival(child, 0, 1).feasible);
  // An unfinished agent next to node 3 saves it; a finished one does not.
  setup.arcs.emplace_back(2, 3, 4.0);
  Build(setup);
  EXPECT_TRUE(checker_.CheckArrival(child, 0, 1).feasible);
  const Label finished = Child({0, 2}, {2.0, 1.0}, {0, 1}, {1});
  EXPECT_FALSE(checker_.CheckArrival(finished, 0, 1).feasible);
}

TEST_F(TimeWindowCheckerTest, RejectsAMoveThatADetourWouldDominate) {
  // Node 2 on the way (0->2->1 arrives at 4, like waiting at node 1) but unreachable
  // in its window once node 1 is visited first.
  Build({3, 100.0, {{0, 1, 1.0}, {0, 2, 2.0}, {1, 2, 2.0}}, {0}, {0}, {0},
         {{1, {4.0, 50.0}}, {2, {0.0, 3.0}}}, true});
  EXPECT_FALSE(checker_.CheckArrival(Child({0}, {1.0}, {0}, {1}), 0, 1).feasible);
}

// Agent 0 waits at node 1 until 10; its own end node 3 lies on a path that arrives
// at node 1 just as early, but going there ends the route, so it is no detour.
TEST_F(TimeWindowCheckerTest, AWaitingMoveIsNotRejectedBecauseOfTheAgentsOwnEnd) {
  for (bool return_to_end : {true, false}) {
    Build({4, 100.0, {{0, 1, 2.0}, {0, 3, 1.0}, {1, 3, 1.0}, {0, 2, 1.0}, {1, 2, 1.0}}, {0},
           {0}, {3}, {{1, {10.0, 20.0}}}, return_to_end});
    const ArrivalCheck check = checker_.CheckArrival(Child({0}, {2.0}, {0}, {1, 2}), 0, 1);
    EXPECT_TRUE(check.feasible) << "return_to_end " << return_to_end;
    EXPECT_EQ(check.time, 10.0) << "return_to_end " << return_to_end;
  }
}

// A goes 0 -> 2 -> 1, B goes 1 -> 3 -> 0: each ends where the other starts.
TEST_F(TimeWindowCheckerTest, AgentsSwappingDepotsCanCompleteTheirRoutes) {
  for (bool return_to_end : {true, false}) {
    Build({4, 5.0, {}, {0, 0}, {0, 1}, {1, 0},
           {{0, {0.0, 100.0}}, {1, {0.0, 100.0}}, {2, {0.0, 100.0}}, {3, {0.0, 100.0}}},
           return_to_end});
    const double stop = return_to_end ? 5.0 : 0.0;
    struct Move { int32_t agent, node; Label child; };
    const Move moves[] = {
        {0, 2, Child({0, 1}, {5.0, 0.0}, {0, 0}, {2})},
        {1, 3, Child({2, 1}, {5.0, 5.0}, {0, 0}, {2, 3})},
        {0, 1, Child({2, 3}, {5.0 + stop, 5.0}, {1, 0}, {1, 2, 3})},
        {1, 0, Child({1, 3}, {5.0 + stop, 5.0 + stop}, {1, 1}, {0, 1, 2, 3})}};
    for (const Move& m : moves) {
      EXPECT_TRUE(checker_.CheckArrival(m.child, m.agent, m.node).feasible)
          << "agent " << m.agent << " to " << m.node << " return_to_end " << return_to_end;
    }
  }
}

TEST_F(TimeWindowCheckerTest, ATypeWithoutACostComponentTravelsForFree) {
  // Agent type 1 has no component in the one-component costs: no arc, no travel time.
  Build({3, 100.0, {}, {1}, {0}, {0}, {{2, {0.0, 5.0}}}, true});
  EXPECT_TRUE(checker_.CheckArrival(Child({0}, {1.0}, {0}, {1}), 0, 1).feasible);
}

TEST_F(TimeWindowCheckerTest, LeavesAssignmentAndDeadEndsToTheDefaultRules) {
  Build({2, 1.0, {}, {2}, {0}, {0}, {}, true});
  EXPECT_TRUE(checker_.IsForbidden(0, 1));
  EXPECT_TRUE(checker_.CheckBudget(Child({0}, {1e9}, {0}, {}), 0).feasible);
  TimeWindowConstraintChecker typed;
  typed.Init(nullptr, PointsWithTypes({{0}}), AgentsOfTypes({0}));
  EXPECT_TRUE(typed.IsDeadEnd(MakeLabel(1, {0}, {0.0}, {1})));
}

// ---------------------------------------------------------------- expansion

TEST(DefaultExpansionTest, PicksTheCheapestUnfinishedAgentLowestIndexFirst) {
  const double kMax = std::numeric_limits<double>::max();
  const double kInf = std::numeric_limits<double>::infinity();
  DefaultExpansion expansion;
  expansion.SetEnds({0, 0, 0});
  struct Case { std::vector<double> costs; std::vector<uint8_t> finished; int32_t agent; };
  const Case cases[] = {{{5, 3, 3}, {0, 0, 0}, 1},
                        {{5, 3, 3}, {0, 1, 0}, 2},
                        {{5, 3, 3}, {1, 1, 1}, -1},
                        {{kMax, kInf, 9}, {0, 0, 1}, -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(expansion.SelectAgent(MakeLabel(1, {0, 0, 0}, c.costs, c.finished)), c.agent);
  }
  DefaultExpansion no_agents;
  no_agents.SetEnds({});
  EXPECT_EQ(no_agents.SelectAgent(MakeLabel(1, {0}, {1.0}, {0})), -1);
}

// ---------------------------------------------------------------- objectives

TEST(ObjectiveTest, MinMaxTakesTheLongestRouteOrTheSharedRemainder) {
  DefaultObjective objective;
  EXPECT_EQ(objective.Evaluate({2, 7, 4}), 7.0);
  EXPECT_EQ(objective.Evaluate({}), 0.0);
  const Label label = MakeLabel(1, {0, 0, 0}, {2, 7, 4}, {1, 0, 0});
  EXPECT_EQ(objective.Combine(label, 5.0, 2), 8.0);
  EXPECT_EQ(objective.Combine(label, 1.0, 2), 7.0);
  EXPECT_EQ(objective.Combine(label, 100.0, 0), 7.0);
}

TEST(ObjectiveTest, MinSumAddsTheRoutesAndTheEstimate) {
  MinSumObjective objective;
  EXPECT_EQ(objective.Evaluate({2, 7, 4}), 13.0);
  EXPECT_EQ(objective.Evaluate({}), 0.0);
  EXPECT_EQ(objective.Combine(MakeLabel(1, {0, 0, 0}, {2, 7, 4}, {1, 0, 0}), 5.0, 2), 18.0);
}

// ---------------------------------------------------------------- focal order

TEST(DefaultFocalComparatorTest, DeeperFirstThenSmallerFThenSmallerCostSum) {
  DefaultFocalComparator less;
  const FocalEntry deep{1, 6, 2, 50.0, 50.0};
  const FocalEntry shallow{2, 5, 2, 1.0, 1.0};
  EXPECT_TRUE(less.Compare(deep, shallow));
  EXPECT_FALSE(less.Compare(shallow, deep));
  const FocalEntry f10{3, 5, 2, 10.0, 0.0};
  const FocalEntry f9{4, 5, 2, 9.0, 99.0};
  EXPECT_TRUE(less.Compare(f9, f10));
  EXPECT_FALSE(less.Compare(f10, f9));
  const FocalEntry cheap{5, 5, 1, 9.0, 3.0};
  EXPECT_TRUE(less.Compare(cheap, f9));
  EXPECT_FALSE(less.Compare(f9, cheap));
  // Only id and remaining differ: neither goes first.
  const FocalEntry twin{6, 5, 0, 9.0, 99.0};
  EXPECT_FALSE(less.Compare(f9, twin));
  EXPECT_FALSE(less.Compare(twin, f9));
}

}  // namespace
}  // namespace quarn
