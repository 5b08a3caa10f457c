#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "graph/sparse_graph.h"
#include "postopt/default_post_optimizer.h"
#include "postopt/route_merging_post_optimizer.h"
#include "postopt/route_validator.h"

namespace quarn {
namespace {

using Path = std::vector<int32_t>;
constexpr double kFar = 100.0;

// Complete graph; every agent type pays the same cost.
SparseGraph CompleteGraph(int32_t n, size_t dims,
                          const std::function<double(int32_t, int32_t)>& cost) {
  SparseGraph graph;
  for (int32_t u = 0; u < n; ++u) {
    for (int32_t v = 0; v < n; ++v) {
      if (u != v) graph.AddArc(u, v, CostVector(dims, cost(u, v)));
    }
  }
  return graph;
}

// Nodes on a line; travel time is the distance.
SparseGraph LineGraph(const std::vector<double>& xs, size_t dims = 1) {
  return CompleteGraph(static_cast<int32_t>(xs.size()), dims,
                       [&](int32_t u, int32_t v) { return std::fabs(xs[u] - xs[v]); });
}

// Symmetric costs given pair by pair; every other pair is far apart.
SparseGraph PairGraph(int32_t n, size_t dims,
                      const std::map<std::pair<int32_t, int32_t>, double>& pairs) {
  return CompleteGraph(n, dims, [&](int32_t u, int32_t v) {
    auto it = pairs.find({std::min(u, v), std::max(u, v)});
    return it == pairs.end() ? kFar : it->second;
  });
}

std::vector<Point> PointsWithTypes(const std::vector<std::vector<int32_t>>& types) {
  std::vector<Point> points(types.size());
  for (size_t i = 0; i < types.size(); ++i) points[i].types = types[i];
  return points;
}

AgentEntry MakeAgent(int32_t type, double time_limit = 0.0) {
  AgentEntry agent;
  agent.type = type;
  agent.time_limit = time_limit;
  return agent;
}

// One post-optimisation problem: graph, tables and the solver's configuration.
struct Instance {
  SparseGraph graph;
  std::vector<Point> points;
  std::vector<AgentEntry> agents;
  std::vector<int32_t> starts;
  std::vector<int32_t> ends;
  TimeWindowMap windows;
  bool return_to_end = true;

  void Configure(PostOptimizerPlugin& optimizer) const {
    optimizer.SetReturnToEnd(return_to_end);
    optimizer.SetStarts(starts);
    optimizer.SetEnds(ends);
    optimizer.SetTimeWindows(windows);
  }
  void Configure(RouteValidator& validator) const {
    validator.SetReturnToEnd(return_to_end);
    validator.SetStarts(starts);
    validator.SetEnds(ends);
    validator.SetTimeWindows(windows);
    validator.Load(&graph, points, agents);
  }
};

Result ResultWithPaths(const std::vector<Path>& paths) {
  Result result;
  for (size_t a = 0; a < paths.size(); ++a) result.paths[static_cast<int32_t>(a)] = paths[a];
  return result;
}

template <typename Optimizer>
Result RunOptimizer(const Instance& instance, Result result) {
  Optimizer optimizer;
  instance.Configure(optimizer);
  optimizer.Optimize(&instance.graph, instance.points, instance.agents, result);
  return result;
}

// Each target of `before` appears exactly once in `after`, and nothing else is added.
void ExpectSameTargets(const Result& before, const Result& after) {
  auto interior = [](const Result& r) {
    std::vector<int32_t> nodes;
    for (const auto& [agent, path] : r.paths) {
      if (path.size() > 2) nodes.insert(nodes.end(), path.begin() + 1, path.end() - 1);
    }
    std::sort(nodes.begin(), nodes.end());
    return nodes;
  };
  EXPECT_EQ(interior(before), interior(after));
}

// ---------------------------------------------------------------- route validation

// Depots: 0 (agent 0 start), 1 (agent 0 end), 2 (agent 1 start and end).
// Targets: 3 (types 0 and 1), 4 (type 0 only).
Instance ValidationInstance() {
  Instance inst;
  inst.graph = PairGraph(5, 2, {{{0, 3}, 3}, {{1, 3}, 4}, {{0, 1}, 6}, {{2, 3}, 2}, {{2, 4}, 5},
                                {{0, 4}, 2}, {{3, 4}, 1}, {{1, 4}, 7}, {{0, 2}, 9}, {{1, 2}, 9}});
  inst.points = PointsWithTypes({{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0}});
  inst.agents = {MakeAgent(0), MakeAgent(1)};
  inst.starts = {0, 2};
  inst.ends = {1, 2};
  return inst;
}

struct ValidationCase {
  std::string name;
  int32_t agent;
  Path path;
  std::function<void(Instance&)> tweak;
  bool valid;
  double cost;
};

void PrintTo(const ValidationCase& c, std::ostream* os) { *os << c.name; }

class EvaluatePathTest : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(EvaluatePathTest, AppliesEveryRule) {
  const ValidationCase& c = GetParam();
  Instance inst = ValidationInstance();
  if (c.tweak) c.tweak(inst);
  RouteValidator validator;
  inst.Configure(validator);
  double cost = -1.0;
  EXPECT_EQ(validator.EvaluatePath(c.path, c.agent, cost), c.valid);
  EXPECT_DOUBLE_EQ(cost, c.cost);
}

auto NoTweak = [](Instance&) {};

INSTANTIATE_TEST_SUITE_P(
    Rules, EvaluatePathTest,
    ::testing::Values(
        ValidationCase{"EmptyPath", 0, {}, NoTweak, true, 0.0},
        ValidationCase{"PlainRoute", 0, {0, 3, 4, 1}, NoTweak, true, 3 + 1 + 7},
        ValidationCase{"WrongStart", 0, {2, 3, 1}, NoTweak, false, 0.0},
        ValidationCase{"EndsAtForeignDepot", 0, {0, 3, 2}, NoTweak, false, 0.0},
        ValidationCase{"EndsAtStartWithReturnToEnd", 0, {0, 3, 0}, NoTweak, false, 0.0},
        ValidationCase{"EndsAtStartWithoutReturnToEnd", 0, {0, 3, 0},
                       [](Instance& i) { i.return_to_end = false; }, true, 3.0},
        ValidationCase{"LegToEndFreeWithoutReturnToEnd", 0, {0, 3, 1},
                       [](Instance& i) { i.return_to_end = false; }, true, 3.0},
        ValidationCase{"OwnStartInside", 0, {0, 3, 0, 4, 1}, NoTweak, false, 0.0},
        ValidationCase{"ForeignStartInside", 0, {0, 3, 2, 1}, NoTweak, false, 0.0},
        ValidationCase{"OwnEndInsideAllowed", 0, {0, 1, 3, 1}, NoTweak, true, 6 + 4 + 4},
        ValidationCase{"TypeNotAllowed", 1, {2, 4, 2}, NoTweak, false, 0.0},
        ValidationCase{"AgentWithoutType", 0, {0, 3, 1},
                       [](Instance& i) { i.agents[0].type = -1; }, false, 0.0},
        ValidationCase{"NoEndsWithReturnToEnd", 0, {0, 3, 1},
                       [](Instance& i) { i.ends.clear(); }, false, 0.0},
        ValidationCase{"WaitsForWindow", 0, {0, 3, 1},
                       [](Instance& i) { i.windows[3] = {10.0, 20.0}; }, true, 14.0},
        ValidationCase{"ArrivesAtLatestTime", 0, {0, 3, 1},
                       [](Instance& i) { i.windows[3] = {0.0, 3.0}; }, true, 7.0},
        ValidationCase{"MissesWindow", 0, {0, 3, 1},
                       [](Instance& i) { i.windows[3] = {0.0, 2.0}; }, false, 0.0},
        ValidationCase{"WaitsAtStart", 0, {0, 3, 1},
                       [](Instance& i) { i.windows[0] = {5.0, 10.0}; }, true, 12.0},
        ValidationCase{"StartWindowClosedAtZero", 0, {0, 3, 1},
                       [](Instance& i) { i.windows[0] = {-10.0, -1.0}; }, false, 0.0},
        ValidationCase{"LimitMet", 0, {0, 3, 1},
                       [](Instance& i) { i.agents[0].time_limit = 7.0; }, true, 7.0},
        ValidationCase{"LimitExceeded", 0, {0, 3, 1},
                       [](Instance& i) { i.agents[0].time_limit = 6.0; }, false, 0.0},
        ValidationCase{"EmptyCostVectorMeansNoTravel", 0, {0, 3, 1},
                       [](Instance& i) { i.graph = SparseGraph(); }, true, 0.0},
        ValidationCase{"TypeOutsideCostVectorMeansNoTravel", 1, {2, 3, 2},
                       [](Instance& i) { i.graph = PairGraph(5, 1, {{{2, 3}, 2}}); }, true, 0.0}),
    [](const ::testing::TestParamInfo<ValidationCase>& info) { return info.param.name; });

TEST(RouteValidatorTest, CanServeFollowsTypesAndDepots) {
  Instance inst = ValidationInstance();
  RouteValidator validator;
  inst.Configure(validator);
  EXPECT_TRUE(validator.CanServe(0, 3));
  EXPECT_TRUE(validator.CanServe(0, 4));
  EXPECT_FALSE(validator.CanServe(1, 4));  // type 0 only
  EXPECT_FALSE(validator.CanServe(0, 2));  // another agent's depot
  EXPECT_TRUE(validator.CanServe(0, 1));   // its own end
  EXPECT_FALSE(validator.CanServe(1, 1));
}

TEST(RouteValidatorTest, NoGraphMeansNoTravel) {
  Instance inst = ValidationInstance();
  RouteValidator validator;
  inst.Configure(validator);
  validator.Load(nullptr, inst.points, inst.agents);
  double cost = -1.0;
  EXPECT_TRUE(validator.EvaluatePath({0, 3, 4, 1}, 0, cost));
  EXPECT_DOUBLE_EQ(cost, 0.0);
}

// ---------------------------------------------------------------- 2-opt

// Depots 0 and 3; the route [0, 2, 1, 3] crosses. Reversing it saves `saving`.
Instance CrossingInstance(double saving) {
  Instance inst;
  inst.graph = PairGraph(4, 1, {{{0, 1}, 1}, {{1, 2}, 1}, {{2, 3}, 1}, {{0, 2}, 1},
                                {{1, 3}, 1 + saving}});
  inst.points = PointsWithTypes({{0}, {0}, {0}, {0}});
  inst.agents = {MakeAgent(0)};
  inst.starts = {0};
  inst.ends = {3};
  return inst;
}

struct TwoOptCase {
  double saving;  // of [0, 1, 2, 3] over [0, 2, 1, 3]
  Path expected;
};

class TwoOptTest : public ::testing::TestWithParam<TwoOptCase> {};

TEST_P(TwoOptTest, ReversesOnlyWhenShorterBeyondTolerance) {
  const TwoOptCase& c = GetParam();
  const Instance inst = CrossingInstance(c.saving);
  const Result in = ResultWithPaths({{0, 2, 1, 3}});
  const Result by_default = RunOptimizer<DefaultPostOptimizer>(inst, in);
  const Result by_merging = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
  const double expected_cost = c.expected == Path{0, 2, 1, 3} ? 3.0 + c.saving : 3.0;
  EXPECT_EQ(by_default.paths.at(0), c.expected);
  EXPECT_DOUBLE_EQ(by_default.times.at(0), expected_cost);
  EXPECT_EQ(by_merging.paths.at(0), c.expected);
  EXPECT_DOUBLE_EQ(by_merging.times.at(0), expected_cost);
}

INSTANTIATE_TEST_SUITE_P(Tolerance, TwoOptTest,
                         ::testing::Values(TwoOptCase{0.0, {0, 2, 1, 3}},
                                           TwoOptCase{1e-10, {0, 2, 1, 3}},
                                           TwoOptCase{1e-8, {0, 1, 2, 3}},
                                           TwoOptCase{2.0, {0, 1, 2, 3}}));

TEST(TwoOptTest, ShortRoutesAreLeftAlone) {
  // Any reversal of the interior would be cheaper if short routes were not skipped.
  Instance inst;
  inst.graph = PairGraph(3, 1, {{{0, 1}, 9}, {{1, 2}, 9}, {{0, 2}, 1}});
  inst.points = PointsWithTypes({{0}, {0}, {0}});
  inst.agents = {MakeAgent(0)};
  inst.starts = {0};
  inst.ends = {2};
  RouteValidator validator;
  inst.Configure(validator);
  for (Path path : {Path{0, 2}, Path{0, 1, 2}}) {
    double cost = 50.0;
    EXPECT_FALSE(validator.TwoOpt(path, cost, 0));
    EXPECT_DOUBLE_EQ(cost, 50.0);
  }
}

TEST(TwoOptTest, RestartsUntilNoImprovementIsLeft) {
  // A scrambled line tour needs several reversals to come out sorted.
  Instance inst;
  inst.graph = LineGraph({0, 1, 2, 3, 4, 5});
  inst.points = PointsWithTypes({{0}, {0}, {0}, {0}, {0}, {0}});
  inst.agents = {MakeAgent(0)};
  inst.starts = {0};
  inst.ends = {5};
  RouteValidator validator;
  inst.Configure(validator);
  Path path{0, 3, 1, 4, 2, 5};
  double cost = 0.0;
  ASSERT_TRUE(validator.EvaluatePath(path, 0, cost));
  EXPECT_TRUE(validator.TwoOpt(path, cost, 0));
  EXPECT_EQ(path, (Path{0, 1, 2, 3, 4, 5}));
  EXPECT_DOUBLE_EQ(cost, 5.0);
}

// ---------------------------------------------------------------- relocation

// Agent 0 (depot 0) drives [0, 1, 0] for 30; agent 1 (depot 3) drives [3, 2, 3] for 10.
// Moving target 1 into agent 1's route costs it 25 and leaves agent 0 idle.
Instance RelocationInstance() {
  Instance inst;
  inst.graph = PairGraph(4, 2, {{{0, 1}, 15}, {{2, 3}, 5}, {{1, 2}, 5}, {{1, 3}, 15}});
  inst.points = PointsWithTypes({{0, 1}, {0, 1}, {0, 1}, {0, 1}});
  inst.agents = {MakeAgent(0), MakeAgent(0)};
  inst.starts = {0, 3};
  inst.ends = {0, 3};
  return inst;
}

struct RelocationCase {
  std::string name;
  std::function<void(Instance&)> tweak;
  bool moved;
};

void PrintTo(const RelocationCase& c, std::ostream* os) { *os << c.name; }

class RelocationTest : public ::testing::TestWithParam<RelocationCase> {};

TEST_P(RelocationTest, MovesOnlyWhenValidAndTheLongerRouteShrinks) {
  const RelocationCase& c = GetParam();
  Instance inst = RelocationInstance();
  c.tweak(inst);
  const Result out =
      RunOptimizer<DefaultPostOptimizer>(inst, ResultWithPaths({{0, 1, 0}, {3, 2, 3}}));
  if (c.moved) {
    EXPECT_EQ(out.paths.at(0), (Path{0, 0}));
    EXPECT_EQ(out.paths.at(1), (Path{3, 1, 2, 3}));  // first of the equal-gain positions
    EXPECT_DOUBLE_EQ(out.times.at(0), 0.0);
    EXPECT_DOUBLE_EQ(out.times.at(1), 25.0);
  } else {
    EXPECT_EQ(out.paths.at(0), (Path{0, 1, 0}));
    EXPECT_EQ(out.paths.at(1), (Path{3, 2, 3}));
    EXPECT_DOUBLE_EQ(out.times.at(0), 30.0);
    EXPECT_DOUBLE_EQ(out.times.at(1), 10.0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RelocationTest,
    ::testing::Values(
        RelocationCase{"SameTypeMoves", [](Instance&) {}, true},
        RelocationCase{"NoGainWhenReceiverWouldReachDonorCost",
                       [](Instance& i) {
                         i.graph = PairGraph(4, 2, {{{0, 1}, 15}, {{2, 3}, 5}, {{1, 2}, 10},
                                                    {{1, 3}, 15}});
                       },
                       false},
        RelocationCase{"AcrossTypesWhenTargetAllowsReceiverType",
                       [](Instance& i) { i.agents[1].type = 1; }, true},
        RelocationCase{"TypeZeroTargetNeverEntersTypeOneRoute",
                       [](Instance& i) {
                         i.agents[1].type = 1;
                         i.points[1].types = {0};
                       },
                       false},
        RelocationCase{"ReceiverLimitBlocksMove",
                       [](Instance& i) { i.agents[1].time_limit = 20.0; }, false},
        RelocationCase{"ReceiverWindowBlocksMove",
                       [](Instance& i) { i.windows[3] = {0.0, 20.0}; }, false}),
    [](const ::testing::TestParamInfo<RelocationCase>& info) { return info.param.name; });

TEST(RelocateMoveTest, RejectsIndicesOutsideTheRoutes) {
  Instance inst = RelocationInstance();
  DefaultPostOptimizer optimizer;
  inst.Configure(optimizer);
  Result result = ResultWithPaths({{0, 1, 0}, {3, 2, 3}});
  optimizer.Optimize(&inst.graph, inst.points, inst.agents, result);
  AgentRoute donor{0, 30.0, {0, 1, 0}, true};
  AgentRoute receiver{1, 10.0, {3, 2, 3}, true};
  for (auto [i, j] : {std::pair<int32_t, int32_t>{0, 1}, {2, 1}, {1, 0}, {1, 3}, {-1, -1}}) {
    ::testing::internal::CaptureStderr();
    optimizer.RelocateMove(donor, receiver, i, j);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Invalid indices.\n");
    EXPECT_EQ(donor.path, (Path{0, 1, 0}));
    EXPECT_EQ(receiver.path, (Path{3, 2, 3}));
  }
  optimizer.RelocateMove(donor, receiver, 1, 1);
  EXPECT_EQ(receiver.path, (Path{3, 1, 2, 3}));
  EXPECT_DOUBLE_EQ(receiver.cost, 25.0);
}

TEST(DefaultPostOptimizerTest, BalancesAcrossGroupsUntilNoMovePays) {
  // Type 0 has one long route with two far targets; type 1 sits idle at the depot.
  Instance inst;
  inst.graph = LineGraph({0, -10, 10}, 2);
  inst.points = PointsWithTypes({{0, 1}, {0, 1}, {0, 1}});
  inst.agents = {MakeAgent(0), MakeAgent(1)};
  inst.starts = {0, 0};
  inst.ends = {0, 0};
  const Result out =
      RunOptimizer<DefaultPostOptimizer>(inst, ResultWithPaths({{0, 1, 2, 0}, {0, 0}}));
  EXPECT_DOUBLE_EQ(out.times.at(0), 20.0);
  EXPECT_DOUBLE_EQ(out.times.at(1), 20.0);
  ExpectSameTargets(ResultWithPaths({{0, 1, 2, 0}}), out);
}

TEST(DefaultPostOptimizerTest, MissingRouteBecomesEmpty) {
  Instance inst = RelocationInstance();
  Result in;
  in.paths[1] = {3, 2, 3};
  const Result out = RunOptimizer<DefaultPostOptimizer>(inst, in);
  EXPECT_EQ(out.paths.at(0), Path{});
  EXPECT_DOUBLE_EQ(out.times.at(0), 0.0);
  EXPECT_DOUBLE_EQ(out.times.at(1), 10.0);
}

TEST(DefaultPostOptimizerTest, NegativeCostsStillPickGroupExtremes) {
  // Every route costs less than -1; the scans must still name real members and types.
  Instance inst;
  inst.graph = CompleteGraph(4, 2, [](int32_t, int32_t) { return -3.0; });
  inst.points = PointsWithTypes({{0, 1}, {0, 1}, {0, 1}, {0, 1}});
  inst.agents = {MakeAgent(0), MakeAgent(1)};
  inst.starts = {0, 0};
  inst.ends = {0, 0};
  const Result out =
      RunOptimizer<DefaultPostOptimizer>(inst, ResultWithPaths({{0, 1, 2, 0}, {0, 3, 0}}));
  ExpectSameTargets(ResultWithPaths({{0, 1, 2, 0}, {0, 3, 0}}), out);
  EXPECT_LT(out.times.at(0), -1.0);
  EXPECT_LT(out.times.at(1), -1.0);
}

// ---------------------------------------------------------------- both optimizers

template <typename Optimizer>
class BothOptimizersTest : public ::testing::Test {};
using Optimizers = ::testing::Types<DefaultPostOptimizer, RouteMergingPostOptimizer>;
TYPED_TEST_SUITE(BothOptimizersTest, Optimizers);

TEST(PostOptimizerNamesTest, NamesAreTheClassNames) {
  EXPECT_EQ(DefaultPostOptimizer().Name(), "DefaultPostOptimizer");
  EXPECT_EQ(RouteMergingPostOptimizer().Name(), "RouteMergingPostOptimizer");
}

TYPED_TEST(BothOptimizersTest, CountersSurvive) {
  const Instance inst = RelocationInstance();
  Result in = ResultWithPaths({{0, 1, 0}, {3, 2, 3}});
  in.n_generated = 123;
  in.n_expanded = 45;
  in.timeout = true;
  in.last_update_time = 2.5;
  const Result out = RunOptimizer<TypeParam>(inst, in);
  EXPECT_EQ(out.n_generated, 123);
  EXPECT_EQ(out.n_expanded, 45);
  EXPECT_TRUE(out.timeout);
  EXPECT_DOUBLE_EQ(out.last_update_time, 2.5);
}

TYPED_TEST(BothOptimizersTest, InvalidRouteKeepsItsIncomingCost) {
  // Agent 1's depot window closed before time 0, so its route can never validate.
  Instance inst = RelocationInstance();
  inst.windows[3] = {-10.0, -1.0};
  Result in = ResultWithPaths({{0, 1, 0}, {3, 2, 3}});
  in.times[0] = 30.0;
  in.times[1] = 17.0;
  Result out = RunOptimizer<TypeParam>(inst, in);
  EXPECT_EQ(out.paths.at(1), (Path{3, 2, 3}));
  EXPECT_DOUBLE_EQ(out.times.at(1), 17.0);
  EXPECT_EQ(out.paths.at(0), (Path{0, 1, 0}));
  EXPECT_DOUBLE_EQ(out.times.at(0), 30.0);

  in.times.erase(1);  // no reported cost at all reads as 0.0
  out = RunOptimizer<TypeParam>(inst, in);
  EXPECT_DOUBLE_EQ(out.times.at(1), 0.0);
}

TYPED_TEST(BothOptimizersTest, ReturnToEndDecidesWhereARouteMayEnd) {
  // Agent 0 starts at 0 and ends at 2; the route [0, 1, 0] comes back to its start.
  Instance inst;
  inst.graph = LineGraph({0, 4, 10});
  inst.points = PointsWithTypes({{0}, {0}, {0}});
  inst.agents = {MakeAgent(0)};
  inst.starts = {0};
  inst.ends = {2};
  Result in = ResultWithPaths({{0, 1, 0}});
  in.times[0] = 99.0;
  inst.return_to_end = false;
  EXPECT_DOUBLE_EQ(RunOptimizer<TypeParam>(inst, in).times.at(0), 4.0);
  inst.return_to_end = true;
  EXPECT_DOUBLE_EQ(RunOptimizer<TypeParam>(inst, in).times.at(0), 99.0);  // invalid: kept
  EXPECT_DOUBLE_EQ(RunOptimizer<TypeParam>(inst, ResultWithPaths({{0, 1, 2}})).times.at(0), 10.0);
}

// ---------------------------------------------------------------- route merging

// Depot 0 for all. Agent 0 (type 1): [0, 1, 0]; agent 1 (type 0): [0, 2, 0];
// agent 2 (type 0): [0, 3, 0], the longest route at 40.
struct MergeCase {
  std::string name;
  double x1, x2, x3;
  std::vector<std::vector<int32_t>> types;  // of nodes 1, 2, 3
  std::vector<Path> expected;
  std::vector<double> expected_times;
};

void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.name; }

class MergeTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeTest, DissolvesCheapRoutesThatFitUnderTheLongest) {
  const MergeCase& c = GetParam();
  Instance inst;
  inst.graph = LineGraph({0, c.x1, c.x2, c.x3}, 2);
  inst.points = PointsWithTypes({{0, 1}, c.types[0], c.types[1], c.types[2]});
  inst.agents = {MakeAgent(1), MakeAgent(0), MakeAgent(0)};
  inst.starts = {0, 0, 0};
  inst.ends = {0, 0, 0};
  const Result in = ResultWithPaths({{0, 1, 0}, {0, 2, 0}, {0, 3, 0}});
  const Result out = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
  for (int32_t a = 0; a < 3; ++a) {
    EXPECT_EQ(out.paths.at(a), c.expected[a]) << "agent " << a;
    EXPECT_DOUBLE_EQ(out.times.at(a), c.expected_times[a]) << "agent " << a;
  }
  ExpectSameTargets(in, out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeTest,
    ::testing::Values(
        // Target 1 joins agent 1 (cost 22 beats 40); agent 1's target 2 then fits
        // nowhere (type 0 only, and 52 in agent 2's route), so agent 1 stays.
        MergeCase{"CheapestRouteDissolved", 5, -6, 20, {{0, 1}, {0}, {0}},
                  {{0, 0}, {0, 1, 2, 0}, {0, 3, 0}}, {0, 22, 40}},
        // Target 1 only fits agent 2's route, at exactly 40.
        // Agent 1's route is too long to take target 1 (48); agent 2's takes it at exactly 40.
        MergeCase{"FitsExactlyUnderLongest", 5, -19, 20, {{0, 1}, {0}, {0}},
                  {{0, 0}, {0, 2, 0}, {0, 1, 3, 0}}, {0, 38, 40}},
        MergeCase{"NoOtherTypeMayServe", 5, -6, 20, {{1}, {0}, {0}},
                  {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}}, {10, 12, 40}},
        // Agent 0 could take target 3 at 40, but the longest route is never a donor.
        MergeCase{"LongestRouteNeverDissolved", 5, -6, 20, {{1}, {0}, {0, 1}},
                  {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}}, {10, 12, 40}}),
    [](const ::testing::TestParamInfo<MergeCase>& info) { return info.param.name; });

TEST(RouteMergingTest, NoMergeWhenOneOfSeveralTargetsFitsNowhere) {
  // Target 1 would fit agent 1's route, but target 4 would push it to 52.
  for (double x4 : {6.0, -6.0}) {
    Instance inst;
    inst.graph = LineGraph({0, 5, 0, 20, x4});
    inst.points = PointsWithTypes({{0}, {0}, {0}, {0}, {0}});
    inst.agents = {MakeAgent(0), MakeAgent(0)};
    inst.starts = {0, 0};
    inst.ends = {0, 0};
    const Result in = ResultWithPaths({{0, 1, 4, 0}, {0, 3, 0}});
    const Result out = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
    ExpectSameTargets(in, out);
    if (x4 > 0) {
      EXPECT_EQ(out.paths.at(0), (Path{0, 0})) << "x4 " << x4;
      EXPECT_DOUBLE_EQ(out.times.at(1), 40.0);
    } else {
      EXPECT_EQ(out.paths.at(0), (Path{0, 1, 4, 0})) << "x4 " << x4;
      EXPECT_EQ(out.paths.at(1), (Path{0, 3, 0}));
      EXPECT_DOUBLE_EQ(out.times.at(0), 22.0);
    }
  }
}

TEST(RouteMergingTest, NothingChangesWhenNoRouteHasACost) {
  Instance inst = RelocationInstance();
  inst.windows[0] = {-10.0, -1.0};
  inst.windows[3] = {-10.0, -1.0};
  Result in = ResultWithPaths({{0, 1, 0}});
  in.times[0] = 5.0;
  const Result out = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
  EXPECT_EQ(out.paths.at(0), (Path{0, 1, 0}));
  EXPECT_EQ(out.paths.at(1), Path{});  // a missing route is still filled in
  EXPECT_EQ(out.times.size(), 1u);
  EXPECT_DOUBLE_EQ(out.times.at(0), 5.0);
}

// Each agent has its own type, so only agent 0's target 1 can move: into agent 1
// ([0, 2, 0]) or agent 2 ([0, 3, 0]). Agent 3 ([0, 4, 0], cost 40) bounds the merge.
struct TieCase {
  std::string name;
  double c02, c12, c03, c13;
  Path expected_1, expected_2;
};

void PrintTo(const TieCase& c, std::ostream* os) { *os << c.name; }

class InsertionTieTest : public ::testing::TestWithParam<TieCase> {};

TEST_P(InsertionTieTest, EqualCostPrefersSmallerGrowthThenFirstFound) {
  const TieCase& c = GetParam();
  Instance inst;
  inst.graph = PairGraph(5, 4, {{{0, 1}, 5}, {{0, 2}, c.c02}, {{1, 2}, c.c12}, {{0, 3}, c.c03},
                                {{1, 3}, c.c13}, {{0, 4}, 20}});
  inst.points = PointsWithTypes({{0, 1, 2, 3}, {0, 1, 2}, {1}, {2}, {3}});
  inst.agents = {MakeAgent(0), MakeAgent(1), MakeAgent(2), MakeAgent(3)};
  inst.starts = {0, 0, 0, 0};
  inst.ends = {0, 0, 0, 0};
  const Result out = RunOptimizer<RouteMergingPostOptimizer>(
      inst, ResultWithPaths({{0, 1, 0}, {0, 2, 0}, {0, 3, 0}, {0, 4, 0}}));
  EXPECT_EQ(out.paths.at(0), (Path{0, 0}));
  EXPECT_EQ(out.paths.at(1), c.expected_1);
  EXPECT_EQ(out.paths.at(2), c.expected_2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InsertionTieTest,
    ::testing::Values(
        // Both receivers reach 20; agent 1 grows by 12, agent 2 by 6.
        TieCase{"SmallerGrowthWins", 4, 11, 7, 8, {0, 2, 0}, {0, 1, 3, 0}},
        // Both reach 20 and grow by 6: the lowest agent, lowest position wins.
        TieCase{"EqualGrowthFirstFound", 7, 8, 7, 8, {0, 1, 2, 0}, {0, 3, 0}},
        // Agent 1 reaches 19, agent 2 20: the cheaper wins although it grows more.
        TieCase{"CheaperWinsOverSmallerGrowth", 4, 10, 7, 8, {0, 1, 2, 0}, {0, 3, 0}}),
    [](const ::testing::TestParamInfo<TieCase>& info) { return info.param.name; });

TEST(RouteMergingTest, MergeThatCannotFinishLeavesEveryRouteAsItWas) {
  // Agent 0 (type 0): [0, 1, 2, 0] for 13. Agent 1 (type 1): [0, 3, 0] for 30 has
  // room for either target (38) but not both (43). Agent 2 (type 2) bounds at 40.
  Instance inst;
  inst.graph = PairGraph(5, 3, {{{0, 1}, 4}, {{0, 2}, 4}, {{1, 2}, 5}, {{0, 3}, 15}, {{1, 3}, 19},
                                {{2, 3}, 19}, {{0, 4}, 20}});
  inst.points = PointsWithTypes({{0, 1, 2}, {0, 1}, {0, 1}, {1}, {2}});
  inst.agents = {MakeAgent(0), MakeAgent(1), MakeAgent(2)};
  inst.starts = {0, 0, 0};
  inst.ends = {0, 0, 0};
  const Result in = ResultWithPaths({{0, 1, 2, 0}, {0, 3, 0}, {0, 4, 0}});
  const Result out = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
  EXPECT_EQ(out.paths, in.paths);
  EXPECT_DOUBLE_EQ(out.times.at(0), 13.0);
  EXPECT_DOUBLE_EQ(out.times.at(1), 30.0);
  EXPECT_DOUBLE_EQ(out.times.at(2), 40.0);
  ExpectSameTargets(in, out);
}

// Agent 0 drives from depot 0 to depot 1 through target 2 (cost 10); agent 1
// (depot 3) drives [3, 4, 3] for 40 and can take target 2 at no extra cost.
struct DissolvedCase {
  std::string name;
  double direct;      // depot 0 to depot 1
  double time_limit;  // of agent 0
  bool dissolved;
};

void PrintTo(const DissolvedCase& c, std::ostream* os) { *os << c.name; }

class DissolvedRouteTest : public ::testing::TestWithParam<DissolvedCase> {};

TEST_P(DissolvedRouteTest, ReportsWhatRemainsOrUndoes) {
  const DissolvedCase& c = GetParam();
  Instance inst;
  inst.graph = PairGraph(5, 1, {{{0, 2}, 5}, {{1, 2}, 5}, {{0, 1}, c.direct}, {{3, 4}, 20},
                                {{2, 3}, 10}, {{2, 4}, 10}});
  inst.points = PointsWithTypes({{0}, {0}, {0}, {0}, {0}});
  inst.agents = {MakeAgent(0, c.time_limit), MakeAgent(0)};
  inst.starts = {0, 3};
  inst.ends = {1, 3};
  const Result in = ResultWithPaths({{0, 2, 1}, {3, 4, 3}});
  const Result out = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
  ExpectSameTargets(in, out);
  if (c.dissolved) {
    EXPECT_EQ(out.paths.at(0), (Path{0, 1}));
    EXPECT_DOUBLE_EQ(out.times.at(0), c.direct);
    EXPECT_EQ(out.paths.at(1), (Path{3, 2, 4, 3}));
    EXPECT_DOUBLE_EQ(out.times.at(1), 40.0);
  } else {
    EXPECT_EQ(out.paths, in.paths);
    EXPECT_DOUBLE_EQ(out.times.at(0), 10.0);
    EXPECT_DOUBLE_EQ(out.times.at(1), 40.0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DissolvedRouteTest,
    ::testing::Values(DissolvedCase{"DirectTripCostReported", 6, 0, true},
                      DissolvedCase{"DirectTripOverLimitUndoes", 15, 12, false},
                      DissolvedCase{"DirectTripOverLongestUndoes", 45, 0, false}),
    [](const ::testing::TestParamInfo<DissolvedCase>& info) { return info.param.name; });

}  // namespace
}  // namespace quarn
