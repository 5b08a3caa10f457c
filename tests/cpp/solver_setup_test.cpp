#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "graph/sparse_graph.h"
#include "plugins/composite_constraint_checker.h"
#include "plugins/composite_post_optimizer.h"
#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

Node MakeNode(uint64_t id, double x, double y = 0.0, double z = 0.0) {
  Node node;
  node.id = id;
  node.position = {x, y, z};
  return node;
}

Agent MakeAgent(uint64_t id, const std::string& type, uint64_t start, uint64_t end,
                double time_limit = 0.0) {
  Agent agent;
  agent.id = id;
  agent.type = type;
  agent.start_node = start;
  agent.end_node = end;
  agent.capacity_limit = 7.5;
  agent.time_limit = time_limit;
  return agent;
}

std::vector<std::string> NamesOf(const ConstraintCheckerPlugin& checker) {
  std::vector<std::string> names;
  if (auto* composite = dynamic_cast<const CompositeConstraintChecker*>(&checker)) {
    for (const auto& child : composite->children()) names.push_back(child->Name());
  } else {
    names.push_back(checker.Name());
  }
  return names;
}

// Four nodes, one of them sharing the id of an earlier one; two agent types.
Problem TablesProblem() {
  Problem problem;
  problem.add_node(MakeNode(10, 2.9, -2.9, 0.5));
  problem.add_node(MakeNode(20, -0.99, 1e12, -1e12));
  problem.add_node(MakeNode(10, 4.0));
  problem.add_node(MakeNode((uint64_t{1} << 32) + 5, 0.0));
  problem.add_agent(MakeAgent(1, "truck", 20, 10), 1);
  problem.add_agent(MakeAgent(2, "drone", 10, 10, 3.5), 2);
  AssignmentConstraint assignment;
  assignment.set_assignment(10, {"drone"});
  assignment.set_assignment(20, {"truck", "drone"});
  assignment.set_assignment((uint64_t{1} << 32) + 5, {"drone", "truck", "drone"});
  problem.set_assignment_constraint(assignment);
  return problem;
}

TEST(SolverSetup, CompilesNodeTableWithTruncatedCoordinatesAndLaterDuplicateIndex) {
  SolverProbe solver(TablesProblem(), Options{});
  ASSERT_EQ(solver.points_.size(), 4u);
  EXPECT_EQ(solver.points_[0].x, 2);
  EXPECT_EQ(solver.points_[0].y, -2);
  EXPECT_EQ(solver.points_[0].z, 0);
  EXPECT_EQ(solver.points_[1].x, 0);
  EXPECT_EQ(solver.points_[1].y, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(solver.points_[1].z, std::numeric_limits<int32_t>::min());
  EXPECT_EQ(solver.points_[0].id, 10u);
  EXPECT_EQ(solver.points_[2].id, 10u);
  EXPECT_EQ(solver.points_[3].id, 5u);  // low 32 bits
  EXPECT_EQ(solver.node_index_.at(10), 2u);
  EXPECT_EQ(solver.node_index_.at(20), 1u);
  EXPECT_EQ(solver.node_index_.at((uint64_t{1} << 32) + 5), 3u);
  // Allowed types are looked up by the full 64-bit id.
  EXPECT_EQ(solver.points_[0].types, (std::vector<int32_t>{1}));
  EXPECT_EQ(solver.points_[3].types, (std::vector<int32_t>{0, 1}));
}

TEST(SolverSetup, CompilesAgentTableAndDepots) {
  SolverProbe solver(TablesProblem(), Options{});
  EXPECT_EQ(solver.num_types_, 2);
  ASSERT_EQ(solver.num_agents_, 2u);
  EXPECT_EQ(solver.agents_[1].type, 1);
  EXPECT_EQ(solver.agents_[1].capacity_limit, 7.5);
  EXPECT_EQ(solver.agents_[1].time_limit, 3.5);
  EXPECT_EQ(solver.starts_, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(solver.ends_, (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(solver.start_set_, (std::unordered_set<int32_t>{1, 2}));
  EXPECT_EQ(solver.end_set_, (std::unordered_set<int32_t>{2}));
}

TEST(SolverSetup, WarnsAboutNodesWithoutAssignmentAndUnknownWindowNodes) {
  Problem problem;
  problem.add_node(MakeNode(0, 0.0));
  problem.add_node(MakeNode(7, 1.0));
  problem.add_agent(MakeAgent(0, "a", 0, 0), 0);
  AssignmentConstraint assignment;
  assignment.set_assignment(0, {"a"});
  problem.set_assignment_constraint(assignment);
  TimeWindowConstraint windows;
  windows.set_timewindow(42, 1.0, 2.0);
  windows.set_timewindow(7, 3.0, 9.0);
  problem.set_timewindow_constraint(windows);

  CaptureStderr();
  SolverProbe solver(problem, Options{});
  const std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("[warning] node 7 has no assignment constraint; allowing all types\n"),
            std::string::npos);
  EXPECT_NE(err.find("[warning] time window node id 42 not found in nodes\n"), std::string::npos);
  EXPECT_EQ(solver.points_[1].types, (std::vector<int32_t>{0}));
  // Windows are kept by node index.
  EXPECT_EQ(solver.time_windows_, (TimeWindowMap{{1, {3.0, 9.0}}}));
}

TEST(SolverSetup, GraphIsCompleteWith9999WhereNoMatrixGivesACost) {
  Problem problem;
  for (uint64_t id = 0; id < 3; ++id) problem.add_node(MakeNode(id, 0.0));
  problem.add_agent(MakeAgent(0, "a", 0, 0), 0);
  problem.add_agent(MakeAgent(1, "b", 1, 1), 1);
  CaptureStderr();
  SolverProbe solver(problem, Options{});
  const std::string err = GetCapturedStderr();
  const PlannerGraph& graph = *solver.graph_;
  EXPECT_EQ(solver.graph_, solver.owned_graph_.get());
  EXPECT_EQ(graph.NumVertex(), 3u);
  EXPECT_EQ(graph.CostDim(), 2u);
  EXPECT_EQ(graph.NumEdge(), 6u);
  for (int32_t u = 0; u < 3; ++u) {
    EXPECT_FALSE(graph.HasArc(u, u));
    for (int32_t v = 0; v < 3; ++v) {
      if (u != v) {
        EXPECT_EQ(graph.GetArcCost(u, v), (CostVector{9999.0, 9999.0}));
      }
    }
  }
  // Every depot is then unreachable.
  EXPECT_EQ(solver.unreachable_, (std::vector<int32_t>{0, 1}));
  EXPECT_NE(err.find("point: 0 can't be reached\n"), std::string::npos);
  EXPECT_NE(err.find("point: 1 can't be reached\n"), std::string::npos);
}

TEST(SolverSetup, MatrixEntriesByIndexNaNAsMissingAndOversizeIgnored) {
  Problem problem;
  for (uint64_t id : {5, 6, 7}) problem.add_node(MakeNode(id, 0.0));
  problem.add_agent(MakeAgent(0, "a", 5, 5), 0);
  problem.add_agent(MakeAgent(1, "b", 6, 6), 1);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Four rows and columns for three nodes; the last row and column must be ignored.
  problem.set_cost_matrix("b", {{0, 1, 2, 3}, {4, 0, nan, 6}, {7, 8, 0, 9}, {1, 1, 1, 1}});
  problem.set_cost_matrix("a", {{0, 11}});  // shorter: the rest stays missing
  SolverProbe solver(problem, Options{});
  const PlannerGraph& graph = *solver.graph_;
  EXPECT_EQ(graph.GetArcCost(0, 1), (CostVector{11.0, 1.0}));
  EXPECT_EQ(graph.GetArcCost(0, 2), (CostVector{9999.0, 2.0}));
  EXPECT_EQ(graph.GetArcCost(1, 2), (CostVector{9999.0, 9999.0}));
  EXPECT_EQ(graph.GetArcCost(2, 1), (CostVector{9999.0, 8.0}));
  EXPECT_EQ(graph.NumVertex(), 3u);
}

TEST(SolverSetup, NoAgentsGivesAnEmptyCostDimensionAndEveryPairBlocked) {
  Problem problem;
  for (uint64_t id = 0; id < 3; ++id) problem.add_node(MakeNode(id, 0.0));
  ::testing::internal::CaptureStdout();
  CaptureStderr();
  SolverProbe solver(problem, Options{});
  GetCapturedStderr();
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(solver.graph_->CostDim(), 0u);
  EXPECT_TRUE(solver.graph_->GetArcCost(0, 1).empty());
  EXPECT_EQ(out, "[TW-MST] blocked edges: 3 / 3 (set MTSP_DEBUG_TW_EDGES=1 for details)\n");
  EXPECT_TRUE(solver.mst_edges_.empty());
}

struct PluginCase {
  const char* label;
  bool windows;
  double time_limit;
  ObjectiveType objective;
  std::vector<std::string> checkers;
  std::string objective_name;
};

class SolverPluginChoice : public ::testing::TestWithParam<PluginCase> {};

TEST_P(SolverPluginChoice, InstallsCheckersAndObjectiveFromOptionsAndData) {
  const PluginCase& c = GetParam();
  Problem problem = GridProblem({{0, 0}, {1, 0}}, {{0, "a", 0, 0, c.time_limit}});
  if (c.windows) {
    TimeWindowConstraint windows;
    windows.set_timewindow(1, 0.0, 100.0);
    problem.set_timewindow_constraint(windows);
  }
  Options options;
  options.objective = c.objective;
  SolverProbe solver(problem, options);
  EXPECT_EQ(NamesOf(*solver.constraint_checker_), c.checkers);
  EXPECT_EQ(solver.objective_->Name(), c.objective_name);
  auto* post = dynamic_cast<CompositePostOptimizer*>(solver.post_optimizer_.get());
  ASSERT_NE(post, nullptr);
  ASSERT_EQ(post->children().size(), 2u);
  EXPECT_EQ(post->children()[0]->Name(), "DefaultPostOptimizer");
  EXPECT_EQ(post->children()[1]->Name(), "RouteMergingPostOptimizer");
}

INSTANTIATE_TEST_SUITE_P(
    Table, SolverPluginChoice,
    ::testing::Values(
        PluginCase{"plain", false, 0.0, ObjectiveType::MinMax, {"DefaultConstraintChecker"},
                   "DefaultObjective"},
        PluginCase{"limit", false, 0.5, ObjectiveType::MinSum,
                   {"DefaultConstraintChecker", "TimeLimitConstraintChecker"}, "MinSumObjective"},
        PluginCase{"negative_limit", false, -1.0, ObjectiveType::MinSum,
                   {"DefaultConstraintChecker"}, "MinSumObjective"},
        PluginCase{"windows", true, 0.0, ObjectiveType::MinMax,
                   {"DefaultConstraintChecker", "TimeConstraintChecker"}, "DefaultObjective"},
        PluginCase{"both", true, 2.0, ObjectiveType::MinMax,
                   {"DefaultConstraintChecker", "TimeConstraintChecker",
                    "TimeLimitConstraintChecker"},
                   "DefaultObjective"}),
    [](const auto& info) { return std::string(info.param.label); });

struct LookupCase {
  const char* label;
  uint64_t start;
  uint64_t end;
  const char* matrix_type;
};

class SolverMissingLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(SolverMissingLookup, ThrowsTheSystemsOutOfRangeText) {
  const LookupCase& c = GetParam();
  Problem problem;
  problem.add_node(MakeNode(0, 0.0));
  problem.add_node(MakeNode(1, 1.0));
  problem.add_agent(MakeAgent(0, "a", c.start, c.end), 0);
  problem.set_cost_matrix(c.matrix_type, {{0, 1}, {1, 0}});
  try {
    SolverProbe solver(problem, Options{});
    FAIL() << "no exception";
  } catch (const std::out_of_range& error) {
    EXPECT_STREQ(error.what(), "invalid unordered_map<K, T> key");
  }
}

INSTANTIATE_TEST_SUITE_P(Table, SolverMissingLookup,
                         ::testing::Values(LookupCase{"unknown_start", 9, 0, "a"},
                                           LookupCase{"unknown_end", 0, 9, "a"},
                                           LookupCase{"matrix_of_unknown_type", 0, 1, "ghost"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(SolverSetup, AgentFiledUnderAnotherIdKeepsItsType) {
  Problem problem = GridProblem({{0, 0}, {1, 0}, {2, 0}}, {});
  Agent agent = MakeAgent(3, "a", 0, 0);
  problem.add_agent(agent, 7);
  problem.set_cost_matrix("a", {{0, 1, 2}, {1, 0, 1}, {2, 1, 0}});
  AssignmentConstraint assignment;
  for (uint64_t id = 0; id < 3; ++id) assignment.set_assignment(id, {"a"});
  problem.set_assignment_constraint(assignment);
  Options options = MakeOptions(ObjectiveType::MinMax, true);
  SolverProbe solver(problem, options);
  ASSERT_EQ(solver.agents_.size(), 1u);
  EXPECT_EQ(solver.agents_[0].id, 3u);
  EXPECT_EQ(solver.agents_[0].type, 0);
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_TRUE(CheckSolution(problem, options, solver.get_result()).empty());
  EXPECT_EQ(solver.get_result().times.at(0), 4.0);
}

TEST(SolverSetPoints, AcceptsOnlyTypeListsZeroOrZeroOne) {
  SolverProbe solver(Problem{}, Options{});
  Point zero;
  zero.types = {0};
  Point both;
  both.types = {0, 1};
  EXPECT_NO_THROW(solver.SetPoints({}));
  EXPECT_NO_THROW(solver.SetPoints({zero, both}));
  for (std::vector<int32_t> types : {std::vector<int32_t>{}, {1}, {1, 0}, {0, 1, 2}}) {
    Point wrong;
    wrong.types = types;
    CaptureStderr();
    try {
      solver.SetPoints({zero, wrong});
      FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "Wrong Point type");
    }
    EXPECT_EQ(GetCapturedStderr(), "Wrong Point type\n");
  }
}

// A path graph 0 - 1 - 2 with one cost component, for the direct entry.
struct DirectInput {
  SparseGraph graph;
  std::vector<Point> points;
  std::vector<AgentEntry> agents;
  DirectInput() {
    graph.ChangeCostDim(1, 9999.0);
    for (int32_t v = 0; v < 3; ++v) graph.AddVertex(v);
    for (int32_t u = 0; u < 3; ++u) {
      for (int32_t v = 0; v < 3; ++v) {
        if (u != v) graph.AddArc(u, v, {static_cast<double>(std::abs(u - v))});
      }
    }
    points.resize(3);
    for (Point& point : points) point.types = {0};
    agents.resize(1);
  }
};

TEST(SolverSolveWith, SolvesFromReadyMadeTablesOnOpenRoutes) {
  DirectInput input;
  SolverProbe solver(Problem{}, MakeOptions(ObjectiveType::MinMax, true));
  EXPECT_EQ(solver.SolveWith(&input.graph, input.points, input.agents, {0}, {0}, 30.0, ""), 1);
  EXPECT_FALSE(solver.return_to_end_);
  EXPECT_EQ(solver.graph_, &input.graph);
  Result result = solver.get_result();
  // Open route: the way back to the start costs nothing.
  EXPECT_EQ(result.paths.at(0), (std::vector<int32_t>{0, 1, 2, 0}));
  EXPECT_EQ(result.times.at(0), 2.0);
}

TEST(SolverSolveWith, WrongPointTypeIsReportedAndThrown) {
  DirectInput input;
  input.points[1].types = {1};
  SolverProbe solver(Problem{}, Options{});
  CaptureStderr();
  EXPECT_THROW(solver.SolveWith(&input.graph, input.points, input.agents, {0}, {0}, 30.0, ""),
               std::runtime_error);
  EXPECT_EQ(GetCapturedStderr(), "Wrong Point type\n");
}

TEST(SolverSolveWith, MovesOverMissingArcsAreDiscarded) {
  // 0 -> 2 has no arc, so the only tour is 0 -> 1 -> 2 and the stop at 0.
  SparseGraph graph;
  graph.ChangeCostDim(1, 9999.0);
  for (auto [u, v] : std::vector<std::pair<int32_t, int32_t>>{{0, 1}, {1, 0}, {1, 2}, {2, 1}, {2, 0}}) {
    graph.AddArc(u, v, {1.0});
  }
  DirectInput input;
  SolverProbe solver(Problem{}, Options{});
  ASSERT_EQ(solver.SolveWith(&graph, input.points, input.agents, {0}, {0}, 30.0, ""), 1);
  EXPECT_EQ(solver.get_result_process().front().second.paths.at(0),
            (std::vector<int32_t>{0, 1, 2, 0}));
}

TEST(SolverSolveWith, AgentTypeBeyondTheCostVectorMovesNowhere) {
  DirectInput input;
  for (Point& point : input.points) point.types = {0, 1};
  input.agents[0].type = 1;  // the graph has one cost component only
  SolverProbe solver(Problem{}, Options{});
  EXPECT_EQ(solver.SolveWith(&input.graph, input.points, input.agents, {0}, {0}, 30.0, ""), 0);
  EXPECT_FALSE(solver.get_result().timeout);
}

TEST(SolverSolveWith, EmptyCostVectorsCountAsMissingCosts) {
  SparseGraph graph;  // cost dimension 0: every arc exists but carries no cost
  for (int32_t u = 0; u < 3; ++u) {
    for (int32_t v = 0; v < 3; ++v) {
      if (u != v) graph.AddArc(u, v, {});
    }
  }
  DirectInput input;
  SolverProbe solver(Problem{}, Options{});
  CaptureStderr();
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(solver.SolveWith(&graph, input.points, input.agents, {0}, {0}, 30.0, ""), 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(GetCapturedStderr(), "point: 0 can't be reached\n");
  EXPECT_EQ(out.substr(0, out.find('\n') + 1),
            "[TW-MST] blocked edges: 3 / 3 (set MTSP_DEBUG_TW_EDGES=1 for details)\n");
  EXPECT_EQ(solver.unreachable_, (std::vector<int32_t>{0}));
}

struct BadInputCase {
  const char* label;
  bool null_graph;
  size_t points;
  size_t agents;
  std::vector<int32_t> starts;
  std::vector<int32_t> ends;
};

class SolverSolveWithRejects : public ::testing::TestWithParam<BadInputCase> {};

TEST_P(SolverSolveWithRejects, InputItCannotIndexSafely) {
  const BadInputCase& c = GetParam();
  DirectInput input;
  input.points.resize(c.points, input.points[0]);
  input.agents.resize(c.agents);
  SolverProbe solver(Problem{}, Options{});
  EXPECT_THROW(solver.SolveWith(c.null_graph ? nullptr : &input.graph, input.points,
                                input.agents, c.starts, c.ends, 30.0, ""),
               std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SolverSolveWithRejects,
    ::testing::Values(BadInputCase{"no_graph", true, 3, 1, {0}, {0}},
                      BadInputCase{"start_outside", false, 3, 1, {3}, {0}},
                      BadInputCase{"negative_end", false, 3, 1, {0}, {-1}},
                      BadInputCase{"too_few_ends", false, 3, 2, {0, 1}, {0}},
                      BadInputCase{"too_few_agents", false, 3, 1, {0, 1}, {0, 1}},
                      BadInputCase{"points_not_vertices", false, 4, 1, {0}, {0}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace quarn::test
