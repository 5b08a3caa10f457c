#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "graph/sparse_graph.h"
#include "postopt/default_post_optimizer.h"
#include "postopt/route_merging_post_optimizer.h"
#include "postopt/route_validator.h"

namespace quarn {
namespace {

using Path = std::vector<int32_t>;
using Paths = std::unordered_map<int32_t, Path>;
using Times = std::unordered_map<int32_t, double>;
using Types = std::vector<std::vector<int32_t>>;

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

// Symmetric costs given pair by pair; every other pair is 100 apart.
SparseGraph PairGraph(int32_t n, size_t dims,
                      const std::map<std::pair<int32_t, int32_t>, double>& pairs) {
  return CompleteGraph(n, dims, [&](int32_t u, int32_t v) {
    auto it = pairs.find({std::min(u, v), std::max(u, v)});
    return it == pairs.end() ? 100.0 : it->second;
  });
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
  double missing_cost = kMissingCost;  // read by route rules only
  bool return_to_end = true;

  Instance(SparseGraph g, const Types& types, std::vector<AgentEntry> a, std::vector<int32_t> s,
           std::vector<int32_t> e)
      : graph(std::move(g)), points(types.size()), agents(std::move(a)), starts(std::move(s)),
        ends(std::move(e)) {
    for (size_t i = 0; i < types.size(); ++i) points[i].types = types[i];
  }
  template <typename Target>  // a post-optimizer or route rules
  void Configure(Target& target) const {
    target.SetReturnToEnd(return_to_end);
    target.SetStarts(starts);
    target.SetEnds(ends);
    target.SetTimeWindows(windows);
  }
};

// A validator over rules of its own, compiled as a post-optimizer alone compiles them.
struct Validation {
  RouteRules rules;
  RouteValidator validator;

  Validation(const SparseGraph* graph, const std::vector<Point>& points,
             const std::vector<AgentEntry>& agents) {
    rules.SetPoints(points);
    rules.SetAgents(agents);
    if (graph != nullptr) rules.TakeCostTable(DenseCostTable(*graph));
    validator.Use(&rules);
  }
  explicit Validation(const Instance& inst) : Validation(&inst.graph, inst.points, inst.agents) {
    inst.Configure(rules);
    rules.SetMissingCost(inst.missing_cost);
  }
  Validation(const Validation&) = delete;
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

// Depots: 0 (agent 0 start), 1 (agent 0 end), 2 (agent 1 start and end).
// Targets: 3 (types 0 and 1), 4 (type 0 only).
Instance ValidationInstance() {
  return Instance(PairGraph(5, 2, {{{0, 3}, 3}, {{1, 3}, 4}, {{0, 1}, 6}, {{2, 3}, 2},
                                   {{2, 4}, 5}, {{0, 4}, 2}, {{3, 4}, 1}, {{1, 4}, 7},
                                   {{0, 2}, 9}, {{1, 2}, 9}}),
                  {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0}}, {MakeAgent(0), MakeAgent(1)}, {0, 2},
                  {1, 2});
}

TEST(RouteValidatorTest, EvaluatePathAppliesEveryRule) {
  using Tweak = std::function<void(Instance&)>;
  const Tweak none = [](Instance&) {};
  const Tweak open = [](Instance& i) { i.return_to_end = false; };
  auto window = [](int32_t node, double from, double to) {
    return Tweak([=](Instance& i) { i.windows[node] = {from, to}; });
  };
  auto limit = [](double value) {
    return Tweak([=](Instance& i) { i.agents[0].time_limit = value; });
  };
  auto leg_3_1 = [](double cost, double missing_cost, bool open_route) {
    return Tweak([=](Instance& i) {
      i.graph.SetArcCost(3, 1, CostVector(2, cost));
      i.missing_cost = missing_cost;
      i.return_to_end = !open_route;
    });
  };
  struct Case { const char* name; int32_t agent; Path path; Tweak tweak; bool valid; double cost; };
  const Case cases[] = {
      {"empty path", 0, {}, none, true, 0.0},
      {"plain route", 0, {0, 3, 4, 1}, none, true, 3 + 1 + 7},
      {"wrong start", 0, {2, 3, 1}, none, false, 0.0},
      {"ends at a foreign depot", 0, {0, 3, 2}, none, false, 0.0},
      {"ends at its start", 0, {0, 3, 0}, none, false, 0.0},
      {"ends at its start, open route", 0, {0, 3, 0}, open, true, 3.0},
      {"leg to the end free, open route", 0, {0, 3, 1}, open, true, 3.0},
      {"own start inside", 0, {0, 3, 0, 4, 1}, none, false, 0.0},
      {"foreign start inside", 0, {0, 3, 2, 1}, none, false, 0.0},
      {"own end inside", 0, {0, 1, 3, 1}, none, true, 6 + 4 + 4},
      {"type not allowed", 1, {2, 4, 2}, none, false, 0.0},
      {"agent without a type", 0, {0, 3, 1}, [](Instance& i) { i.agents[0].type = -1; }, false,
       0.0},
      {"no ends", 0, {0, 3, 1}, [](Instance& i) { i.ends.clear(); }, false, 0.0},
      {"waits for a window", 0, {0, 3, 1}, window(3, 10.0, 20.0), true, 14.0},
      {"misses a window", 0, {0, 3, 1}, window(3, 0.0, 2.0), false, 0.0},
      {"waits at its start", 0, {0, 3, 1}, window(0, 5.0, 10.0), true, 12.0},
      {"limit met", 0, {0, 3, 1}, limit(7.0), true, 7.0},
      {"limit exceeded", 0, {0, 3, 1}, limit(6.0), false, 0.0},
      {"leg at the threshold", 0, {0, 3, 1}, leg_3_1(9999.0, 9999.0, false), false, 0.0},
      {"free stop over the threshold, open route", 0, {0, 3, 1}, leg_3_1(50.0, 50.0, true), true, 3.0},
      {"leg below a raised threshold", 0, {0, 3, 1}, leg_3_1(9999.0, 1e4, false), true, 3 + 9999},
      {"empty cost vector: no travel", 0, {0, 3, 1}, [](Instance& i) { i.graph = SparseGraph(); },
       true, 0.0},
      {"type outside the cost vector: no travel", 1, {2, 3, 2},
       [](Instance& i) { i.graph = PairGraph(5, 1, {{{2, 3}, 2}}); }, true, 0.0}};
  for (const Case& c : cases) {
    Instance inst = ValidationInstance();
    c.tweak(inst);
    double cost = -1.0;
    EXPECT_EQ(Validation(inst).validator.EvaluatePath(c.path, c.agent, cost), c.valid) << c.name;
    EXPECT_DOUBLE_EQ(cost, c.cost) << c.name;
  }
}

TEST(RouteValidatorTest, CanServePathCostAndNoGraph) {
  const Instance inst = ValidationInstance();
  Validation check(inst);
  const RouteValidator& validator = check.validator;
  EXPECT_TRUE(validator.CanServe(0, 4));
  EXPECT_TRUE(validator.CanServe(0, 1));   // its own end
  EXPECT_FALSE(validator.CanServe(1, 4));  // type 0 only
  EXPECT_FALSE(validator.CanServe(0, 2));  // another agent's depot
  EXPECT_FALSE(validator.CanServe(1, 1));
  testing::internal::CaptureStderr();
  EXPECT_EQ(validator.PathCost({2, 3, 1}, 0), 0.0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[post-opt] invalid path for agent 0, skip optimize\n");
  check.rules.DropCosts();
  double cost = -1.0;
  EXPECT_TRUE(validator.EvaluatePath({0, 3, 4, 1}, 0, cost));
  EXPECT_DOUBLE_EQ(cost, 0.0);
}

TEST(TwoOptTest, ReversesACrossingOnlyWhenShorterBeyondTolerance) {
  // Depots 0 and 3; the route [0, 2, 1, 3] crosses. Reversing it saves `saving`.
  for (double saving : {1e-10, 1e-8}) {
    const Instance inst(
        PairGraph(4, 1, {{{0, 1}, 1}, {{1, 2}, 1}, {{2, 3}, 1}, {{0, 2}, 1}, {{1, 3}, 1 + saving}}),
        Types(4, {0}), {MakeAgent(0)}, {0}, {3});
    const Result in = ResultWithPaths({{0, 2, 1, 3}});
    const bool reversed = saving > 1e-9;
    for (const Result& out : {RunOptimizer<DefaultPostOptimizer>(inst, in),
                              RunOptimizer<RouteMergingPostOptimizer>(inst, in)}) {
      EXPECT_EQ(out.paths.at(0), (reversed ? Path{0, 1, 2, 3} : Path{0, 2, 1, 3})) << saving;
      EXPECT_DOUBLE_EQ(out.times.at(0), reversed ? 3.0 : 3.0 + saving) << saving;
    }
  }
}

// Agent 0 (depot 0) drives [0, 1, 0] for 30; agent 1 (depot 3) drives [3, 2, 3] for 10.
// Moving target 1 into agent 1's route costs it 25 and leaves agent 0 idle.
Instance RelocationInstance() {
  return Instance(PairGraph(4, 2, {{{0, 1}, 15}, {{2, 3}, 5}, {{1, 2}, 5}, {{1, 3}, 15}}),
                  Types(4, {0, 1}), {MakeAgent(0), MakeAgent(0)}, {0, 3}, {0, 3});
}

TEST(DefaultPostOptimizerTest, RelocatesOnlyWhenValidAndTheLongerRouteShrinks) {
  struct Case { const char* name; std::function<void(Instance&)> tweak; bool moved; };
  const Case cases[] = {
      {"same type", [](Instance&) {}, true},
      {"receiver would reach the donor's cost",
       [](Instance& i) {
         i.graph = PairGraph(4, 2, {{{0, 1}, 15}, {{2, 3}, 5}, {{1, 2}, 10}, {{1, 3}, 15}});
       },
       false},
      {"across types where the target allows it", [](Instance& i) { i.agents[1].type = 1; }, true},
      {"type-0-only target never enters a type-1 route",
       [](Instance& i) {
         i.agents[1].type = 1;
         i.points[1].types = {0};
       },
       false},
      {"receiver's limit", [](Instance& i) { i.agents[1].time_limit = 20.0; }, false},
      {"receiver's window", [](Instance& i) { i.windows[3] = {0.0, 20.0}; }, false}};
  for (const Case& c : cases) {
    Instance inst = RelocationInstance();
    c.tweak(inst);
    const Result out =
        RunOptimizer<DefaultPostOptimizer>(inst, ResultWithPaths({{0, 1, 0}, {3, 2, 3}}));
    // The first of the equal-gain positions.
    EXPECT_EQ(out.paths, (c.moved ? Paths{{0, {0, 0}}, {1, {3, 1, 2, 3}}} : Paths{{0, {0, 1, 0}}, {1, {3, 2, 3}}}))
        << c.name;
    EXPECT_EQ(out.times, (c.moved ? Times{{0, 0.0}, {1, 25.0}} : Times{{0, 30.0}, {1, 10.0}})) << c.name;
  }
}

TEST(DefaultPostOptimizerTest, RelocateMoveRejectsIndicesOutsideTheRoutes) {
  DefaultPostOptimizer optimizer;
  WorkingRoute donor{0, {0, 1, 0}, 30.0, true};
  WorkingRoute receiver{1, {3, 2, 3}, 10.0, true};
  for (auto [i, j] : {std::pair<int32_t, int32_t>{0, 1}, {2, 1}, {1, 0}, {1, 3}}) {
    testing::internal::CaptureStderr();
    optimizer.RelocateMove(donor, receiver, i, j);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid indices.\n");
    EXPECT_EQ(donor.path, (Path{0, 1, 0}));
    EXPECT_EQ(receiver.path, (Path{3, 2, 3}));
  }
}

TEST(DefaultPostOptimizerTest, BalancesAcrossGroupsAlsoWithNegativeCosts) {
  // Type 0 has one long route with two far targets; type 1 sits idle at the depot.
  const Instance line(LineGraph({0, -10, 10}, 2), Types(3, {0, 1}), {MakeAgent(0), MakeAgent(1)},
                      {0, 0}, {0, 0});
  const Result out =
      RunOptimizer<DefaultPostOptimizer>(line, ResultWithPaths({{0, 1, 2, 0}, {0, 0}}));
  EXPECT_EQ(out.times, (Times{{0, 20.0}, {1, 20.0}}));
  ExpectSameTargets(ResultWithPaths({{0, 1, 2, 0}}), out);

  // Every route costs less than -1; the scans must still name real members and types.
  const Instance negative(CompleteGraph(4, 2, [](int32_t, int32_t) { return -3.0; }),
                          Types(4, {0, 1}), {MakeAgent(0), MakeAgent(1)}, {0, 0}, {0, 0});
  const Result in = ResultWithPaths({{0, 1, 2, 0}, {0, 3, 0}});
  const Result moved = RunOptimizer<DefaultPostOptimizer>(negative, in);
  ExpectSameTargets(in, moved);
  EXPECT_LT(moved.times.at(0), -1.0);
  EXPECT_LT(moved.times.at(1), -1.0);
}

template <typename Optimizer>
class BothOptimizersTest : public testing::Test {};
using Optimizers = testing::Types<DefaultPostOptimizer, RouteMergingPostOptimizer>;
TYPED_TEST_SUITE(BothOptimizersTest, Optimizers);

TYPED_TEST(BothOptimizersTest, CountersSurviveAndAMissingRouteBecomesEmpty) {
  Result in;
  in.paths[1] = {3, 2, 3};
  in.n_generated = 123;
  in.n_expanded = 45;
  in.timeout = true;
  in.last_update_time = 2.5;
  const Result out = RunOptimizer<TypeParam>(RelocationInstance(), in);
  EXPECT_EQ(out.paths.at(0), Path{});
  EXPECT_EQ(out.times, (Times{{0, 0.0}, {1, 10.0}}));
  EXPECT_EQ(std::make_tuple(out.n_generated, out.n_expanded, out.timeout, out.last_update_time),
            std::make_tuple(123, 45, true, 2.5));
}

TYPED_TEST(BothOptimizersTest, InvalidRouteKeepsItsIncomingCost) {
  // Agent 1's depot window closed before time 0, so its route can never validate.
  Instance inst = RelocationInstance();
  inst.windows[3] = {-10.0, -1.0};
  Result in = ResultWithPaths({{0, 1, 0}, {3, 2, 3}});
  in.times = {{0, 30.0}, {1, 17.0}};
  Result out = RunOptimizer<TypeParam>(inst, in);
  EXPECT_EQ(out.paths, in.paths);
  EXPECT_EQ(out.times, in.times);
  in.times.erase(1);  // no reported cost at all reads as 0.0
  EXPECT_DOUBLE_EQ(RunOptimizer<TypeParam>(inst, in).times.at(1), 0.0);
}

TEST(RouteMergingTest, DissolvesCheapRoutesThatFitUnderTheLongest) {
  // Depot 0 for all. Agent 0 (type 1): [0, 1, 0]; agent 1 (type 0): [0, 2, 0];
  // agent 2 (type 0): [0, 3, 0], the longest route at 40.
  struct Case {
    const char* name;
    double x2;
    Types types;  // of nodes 1, 2, 3
    std::vector<Path> paths;
    std::vector<double> times;
  };
  const Case cases[] = {
      // Target 1 joins agent 1 (22 beats 40); agent 1's target 2 then fits nowhere.
      {"cheapest route dissolved", -6, {{0, 1}, {0}, {0}}, {{0, 0}, {0, 1, 2, 0}, {0, 3, 0}},
       {0, 22, 40}},
      // Agent 1's route is too long to take target 1 (48); agent 2's takes it at exactly 40.
      {"fits exactly under the longest", -19, {{0, 1}, {0}, {0}}, {{0, 0}, {0, 2, 0}, {0, 1, 3, 0}},
       {0, 38, 40}},
      {"no other type may serve", -6, {{1}, {0}, {0}}, {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}},
       {10, 12, 40}},
      // Agent 0 could take target 3 at 40, but the longest route is never a donor.
      {"longest route never dissolved", -6, {{1}, {0}, {0, 1}}, {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}},
       {10, 12, 40}}};
  for (const Case& c : cases) {
    Types types = c.types;
    types.insert(types.begin(), {0, 1});
    const Instance inst(LineGraph({0, 5, c.x2, 20}, 2), types,
                        {MakeAgent(1), MakeAgent(0), MakeAgent(0)}, {0, 0, 0}, {0, 0, 0});
    const Result in = ResultWithPaths({{0, 1, 0}, {0, 2, 0}, {0, 3, 0}});
    const Result out = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
    for (int32_t a = 0; a < 3; ++a) {
      EXPECT_EQ(out.paths.at(a), c.paths[a]) << c.name << ", agent " << a;
      EXPECT_DOUBLE_EQ(out.times.at(a), c.times[a]) << c.name << ", agent " << a;
    }
    ExpectSameTargets(in, out);
  }
}

TEST(RouteMergingTest, NoMergeWhenOneOfSeveralTargetsFitsNowhere) {
  // Target 1 would fit agent 1's route, but target 4 at -6 would push it to 52.
  for (double x4 : {6.0, -6.0}) {
    const Instance inst(LineGraph({0, 5, 0, 20, x4}), Types(5, {0}), {MakeAgent(0), MakeAgent(0)},
                        {0, 0}, {0, 0});
    const Result in = ResultWithPaths({{0, 1, 4, 0}, {0, 3, 0}});
    const Result out = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
    ExpectSameTargets(in, out);
    EXPECT_EQ(out.paths.at(0), (x4 > 0 ? Path{0, 0} : Path{0, 1, 4, 0})) << x4;
    EXPECT_DOUBLE_EQ(out.times.at(x4 > 0 ? 1 : 0), x4 > 0 ? 40.0 : 22.0) << x4;
  }
}

TEST(RouteMergingTest, InsertionTiesPreferSmallerGrowthThenFirstFound) {
  // Each agent has its own type, so only agent 0's target 1 can move: into agent 1
  // ([0, 2, 0]) or agent 2 ([0, 3, 0]). Agent 3 ([0, 4, 0], cost 40) bounds the merge.
  struct Case { const char* name; double c02, c12; Path expected_1, expected_2; };
  const Case cases[] = {
      // Both receivers reach 20; agent 1 grows by 12, agent 2 by 6.
      {"smaller growth wins", 4, 11, {0, 2, 0}, {0, 1, 3, 0}},
      // Both reach 20 and grow by 6: the lowest agent, lowest position wins.
      {"equal growth, first found", 7, 8, {0, 1, 2, 0}, {0, 3, 0}},
      // Agent 1 reaches 19, agent 2 20: the cheaper wins although it grows more.
      {"cheaper wins over smaller growth", 4, 10, {0, 1, 2, 0}, {0, 3, 0}}};
  for (const Case& c : cases) {
    const Instance inst(
        PairGraph(5, 4, {{{0, 1}, 5}, {{0, 2}, c.c02}, {{1, 2}, c.c12}, {{0, 3}, 7}, {{1, 3}, 8},
                         {{0, 4}, 20}}),
        {{0, 1, 2, 3}, {0, 1, 2}, {1}, {2}, {3}},
        {MakeAgent(0), MakeAgent(1), MakeAgent(2), MakeAgent(3)}, {0, 0, 0, 0}, {0, 0, 0, 0});
    const Result out = RunOptimizer<RouteMergingPostOptimizer>(
        inst, ResultWithPaths({{0, 1, 0}, {0, 2, 0}, {0, 3, 0}, {0, 4, 0}}));
    EXPECT_EQ(out.paths, (Paths{{0, {0, 0}}, {1, c.expected_1}, {2, c.expected_2}, {3, {0, 4, 0}}})) << c.name;
  }
}

TEST(RouteMergingTest, MergeThatCannotFinishLeavesEveryRouteAsItWas) {
  // Agent 0 (type 0): [0, 1, 2, 0] for 13. Agent 1 (type 1): [0, 3, 0] for 30 has
  // room for either target (38) but not both (43). Agent 2 (type 2) bounds at 40.
  const Instance inst(PairGraph(5, 3, {{{0, 1}, 4}, {{0, 2}, 4}, {{1, 2}, 5}, {{0, 3}, 15},
                                       {{1, 3}, 19}, {{2, 3}, 19}, {{0, 4}, 20}}),
                      {{0, 1, 2}, {0, 1}, {0, 1}, {1}, {2}},
                      {MakeAgent(0), MakeAgent(1), MakeAgent(2)}, {0, 0, 0}, {0, 0, 0});
  const Result in = ResultWithPaths({{0, 1, 2, 0}, {0, 3, 0}, {0, 4, 0}});
  const Result out = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
  EXPECT_EQ(out.paths, in.paths);
  EXPECT_EQ(out.times, (Times{{0, 13.0}, {1, 30.0}, {2, 40.0}}));
}

TEST(RouteMergingTest, DissolvedRouteReportsWhatRemainsOrIsUndone) {
  // Agent 0 drives from depot 0 to depot 1 through target 2 (cost 10); agent 1
  // (depot 3) drives [3, 4, 3] for 40 and can take target 2 at no extra cost.
  struct Case { const char* name; double direct, time_limit; bool dissolved; };
  const Case cases[] = {{"direct trip's cost reported", 6, 0, true},
                        {"direct trip over the limit undoes", 15, 12, false},
                        {"direct trip over the longest undoes", 45, 0, false}};
  for (const Case& c : cases) {
    const Instance inst(
        PairGraph(5, 1, {{{0, 2}, 5}, {{1, 2}, 5}, {{0, 1}, c.direct}, {{3, 4}, 20}, {{2, 3}, 10},
                         {{2, 4}, 10}}),
        Types(5, {0}), {MakeAgent(0, c.time_limit), MakeAgent(0)}, {0, 3}, {1, 3});
    const Result in = ResultWithPaths({{0, 2, 1}, {3, 4, 3}});
    const Result out = RunOptimizer<RouteMergingPostOptimizer>(inst, in);
    EXPECT_EQ(out.paths, (c.dissolved ? Paths{{0, {0, 1}}, {1, {3, 2, 4, 3}}} : Paths{{0, {0, 2, 1}}, {1, {3, 4, 3}}}))
        << c.name;
    EXPECT_EQ(out.times, (Times{{0, c.dissolved ? c.direct : 10.0}, {1, 40.0}})) << c.name;
  }
}

// ---------------------------------------------------------------- 2-opt pruning

// Every reversal evaluated in full, first improvement, rescan: the rule TwoOpt
// must follow exactly however it prunes.
bool PlainTwoOpt(const RouteValidator& validator, std::vector<int32_t>& path, double& cost,
                 int32_t agent) {
  const size_t n = path.size();
  bool changed = false;
  for (bool improved = n >= 4; improved;) {
    improved = false;
    for (size_t i = 1; i + 3 <= n && !improved; ++i) {
      for (size_t j = i + 1; j + 2 <= n && !improved; ++j) {
        std::vector<int32_t> candidate = path;
        std::reverse(candidate.begin() + static_cast<std::ptrdiff_t>(i),
                     candidate.begin() + static_cast<std::ptrdiff_t>(j) + 1);
        double candidate_cost = 0.0;
        if (validator.EvaluatePath(candidate, agent, candidate_cost) &&
            cost > candidate_cost + kPostOptEpsilon) {
          path = std::move(candidate);
          cost = candidate_cost;
          improved = changed = true;
        }
      }
    }
  }
  return changed;
}

enum class CostKind { kWhole, kNegative, kFractional, kMixedScale, kNearTies, kInfinite };

double RandomCost(std::mt19937& rng, CostKind kind) {
  std::uniform_int_distribution<int> whole(1, 60);
  switch (kind) {
    case CostKind::kWhole: return whole(rng);
    case CostKind::kNegative: return whole(rng) - 20;
    case CostKind::kFractional: return whole(rng) * 0.1 + 1.0 / 3.0;
    case CostKind::kMixedScale:
      return whole(rng) % 5 == 0 ? 1e6 + whole(rng) * 1e-3 : whole(rng) * 1e-3;
    case CostKind::kNearTies: return 10.0 + (whole(rng) % 4) * 3e-10;  // steps near the tolerance
    case CostKind::kInfinite:
      return whole(rng) % 17 == 0 ? std::numeric_limits<double>::infinity() : whole(rng);
  }
  return 0.0;
}

TEST(TwoOptTest, PruningReachesTheRouteOfEvaluatingEveryReversal) {
  struct Case {
    const char* name;
    CostKind costs;
    bool windows;
    bool return_to_end;
  };
  const Case cases[] = {{"whole", CostKind::kWhole, false, true},
                        {"negative, open", CostKind::kNegative, false, false},
                        {"fractional, windows", CostKind::kFractional, true, true},
                        {"mixed scale", CostKind::kMixedScale, false, true},
                        {"near ties", CostKind::kNearTies, false, true},
                        {"infinite, windows, open", CostKind::kInfinite, true, false}};
  for (const Case& c : cases) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
      SCOPED_TRACE(std::string(c.name) + ", round " + std::to_string(round));
      const int32_t n = 5 + static_cast<int32_t>(rng() % 9);
      const SparseGraph graph =
          CompleteGraph(n, 1, [&](int32_t, int32_t) { return RandomCost(rng, c.costs); });
      std::vector<Point> points(static_cast<size_t>(n));
      for (Point& point : points) point.types = {0};
      Validation check(&graph, points, {AgentEntry{0, 0, 0.0, 0.0}});
      const RouteValidator& validator = check.validator;
      check.rules.SetReturnToEnd(c.return_to_end);
      check.rules.SetStarts({0});
      check.rules.SetEnds({n - 1});
      if (c.windows) {
        TimeWindowMap windows;
        for (int32_t v = 1; v < n; ++v) {
          if (rng() % 3 == 0) windows[v] = {double(rng() % 40), 40.0 + double(rng() % 400)};
        }
        check.rules.SetTimeWindows(windows);
      }

      Path path(static_cast<size_t>(n));
      std::iota(path.begin(), path.end(), 0);
      std::shuffle(path.begin() + 1, path.end() - 1, rng);
      double cost = 0.0;
      if (!validator.EvaluatePath(path, 0, cost)) continue;
      Path expected_path = path;
      double expected_cost = cost;
      const bool expected_change = PlainTwoOpt(validator, expected_path, expected_cost, 0);

      EXPECT_EQ(validator.TwoOpt(path, cost, 0), expected_change);
      EXPECT_EQ(path, expected_path);
      EXPECT_EQ(cost, expected_cost);
    }
  }
}

}  // namespace
}  // namespace quarn
