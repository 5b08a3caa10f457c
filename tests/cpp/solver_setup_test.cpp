#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugins/composite_constraint_checker.h"
#include "plugins/composite_post_optimizer.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

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
  agent.time_limit = time_limit;
  return agent;
}

TEST(SolverSetup, CompilesNodeAgentAndWindowTables) {
  constexpr uint64_t kBig = (uint64_t{1} << 32) + 5;
  Problem problem;
  problem.add_node(MakeNode(10, 2.9, -2.9, 0.5));
  problem.add_node(MakeNode(20, -0.99, 1e12, -1e12));
  problem.add_node(MakeNode(10, 4.0));  // a later duplicate id takes the lookup
  problem.add_node(MakeNode(kBig, 0.0));
  problem.add_node(MakeNode(7, 0.0));  // no assignment: every type
  problem.add_agent(MakeAgent(1, "truck", 20, 10), 1);
  problem.add_agent(MakeAgent(2, "drone", 10, 10, 3.5), 2);
  AssignmentConstraint assignment;
  assignment.set_assignment(10, {"drone"});
  assignment.set_assignment(20, {"truck", "drone"});
  assignment.set_assignment(kBig, {"drone", "truck", "drone"});
  problem.set_assignment_constraint(assignment);
  TimeWindowConstraint windows;
  windows.set_timewindow(42, 1.0, 2.0);
  windows.set_timewindow(20, 3.0, 9.0);
  problem.set_timewindow_constraint(windows);

  const SolverProbe solver(problem, Options{});  // warns about node 42
  EXPECT_EQ(solver.time_windows_, (TimeWindowMap{{1, {3.0, 9.0}}}));  // by node index
  // Coordinates truncate toward zero and saturate; ids keep their low 32 bits.
  ASSERT_EQ(solver.points_.size(), 5u);
  const Point& first = solver.points_[0];
  const Point& second = solver.points_[1];
  EXPECT_EQ(std::vector<int32_t>({first.x, first.y, first.z, second.x, second.y, second.z}),
            std::vector<int32_t>({2, -2, 0, 0, std::numeric_limits<int32_t>::max(),
                                  std::numeric_limits<int32_t>::min()}));
  EXPECT_EQ(solver.points_[3].id, 5u);
  EXPECT_EQ(solver.node_index_.at(10), 2u);
  EXPECT_EQ(solver.node_index_.at(kBig), 3u);
  // Allowed types are looked up by the full 64-bit id.
  EXPECT_EQ(solver.points_[0].types, (std::vector<int32_t>{1}));
  EXPECT_EQ(solver.points_[3].types, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(solver.points_[4].types, (std::vector<int32_t>{0, 1}));

  EXPECT_EQ(solver.num_types_, 2);
  ASSERT_EQ(solver.num_agents_, 2u);
  EXPECT_EQ(solver.agents_[1].type, 1);
  EXPECT_EQ(solver.agents_[1].time_limit, 3.5);
  EXPECT_EQ(solver.starts_, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(solver.ends_, (std::vector<int32_t>{2, 2}));
}

TEST(SolverSetup, GraphIsCompleteWith9999WhereNoMatrixGivesACost) {
  Problem problem;
  for (uint64_t id : {5, 6, 7}) problem.add_node(MakeNode(id, 0.0));
  problem.add_agent(MakeAgent(0, "a", 5, 5), 0);
  problem.add_agent(MakeAgent(1, "b", 6, 6), 1);
  const Output output = Capture([&] {
    SolverProbe solver(problem, Options{});
    EXPECT_EQ(solver.graph_, solver.owned_graph_.get());
    EXPECT_EQ(solver.graph_->NumEdge(), 6u);
    EXPECT_FALSE(solver.graph_->HasArc(1, 1));
    EXPECT_EQ(solver.graph_->GetArcCost(2, 0), (CostVector{9999.0, 9999.0}));
    EXPECT_EQ(solver.unreachable_, (std::vector<int32_t>{0, 1}));  // every depot
  });
  EXPECT_NE(output.err.find("point: 0 can't be reached\npoint: 1 can't be reached\n"),
            std::string::npos)
      << output.err;

  // Entries by index: a NaN is missing, a short matrix leaves the rest missing,
  // rows and columns beyond the nodes are ignored.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  problem.set_cost_matrix("b", {{0, 1, 2, 3}, {4, 0, nan, 6}, {7, 8, 0, 9}, {1, 1, 1, 1}});
  problem.set_cost_matrix("a", {{0, 11}});
  SolverProbe solver(problem, Options{});
  const PlannerGraph& graph = *solver.graph_;
  EXPECT_EQ(graph.NumVertex(), 3u);
  EXPECT_EQ(graph.GetArcCost(0, 1), (CostVector{11.0, 1.0}));
  EXPECT_EQ(graph.GetArcCost(0, 2), (CostVector{9999.0, 2.0}));
  EXPECT_EQ(graph.GetArcCost(1, 2), (CostVector{9999.0, 9999.0}));
  EXPECT_EQ(graph.GetArcCost(2, 1), (CostVector{9999.0, 8.0}));
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

TEST(SolverSetup, InstallsPluginsFromOptionsAndData) {
  struct Case {
    bool windows;
    double time_limit;
    ObjectiveType objective;
    std::vector<std::string> checkers;
  };
  const std::string plain = "DefaultConstraintChecker";
  const std::string limit = "TimeLimitConstraintChecker";
  const std::string window = "TimeConstraintChecker";
  const std::vector<Case> cases = {
      {false, 0.0, ObjectiveType::MinMax, {plain}},
      {false, 0.5, ObjectiveType::MinSum, {plain, limit}},
      {false, -1.0, ObjectiveType::MinSum, {plain}},
      {true, 0.0, ObjectiveType::MinMax, {plain, window}},
      {true, 2.0, ObjectiveType::MinMax, {plain, window, limit}},
  };
  for (const Case& c : cases) {
    Problem problem = GridProblem({{0, 0}, {1, 0}}, {{0, "a", 0, 0, c.time_limit}});
    if (c.windows) {
      TimeWindowConstraint windows;
      windows.set_timewindow(1, 0.0, 100.0);
      problem.set_timewindow_constraint(windows);
    }
    SolverProbe solver(problem, MakeOptions(c.objective, true));
    EXPECT_EQ(NamesOf(*solver.constraint_checker_), c.checkers);
    EXPECT_EQ(solver.objective_->Name(),
              c.objective == ObjectiveType::MinMax ? "DefaultObjective" : "MinSumObjective");
    auto* post = dynamic_cast<CompositePostOptimizer*>(solver.post_optimizer_.get());
    ASSERT_NE(post, nullptr);
    ASSERT_EQ(post->children().size(), 2u);
    EXPECT_EQ(post->children()[0]->Name(), "DefaultPostOptimizer");
    EXPECT_EQ(post->children()[1]->Name(), "RouteMergingPostOptimizer");
  }
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
    const Output output = Capture([&] { solver.SetPoints({zero, wrong}); });
    EXPECT_EQ(WhatOf<std::runtime_error>(output.error), "Wrong Point type");
    EXPECT_EQ(output.err, "Wrong Point type\n");
  }
  // SolveWith reaches the same check.
  LineInput input;
  input.points[1].types = {1};
  const Output output = Capture([&] {
    solver.SolveWith(&input.graph, input.points, input.agents, {0}, {0}, 30.0, "");
  });
  EXPECT_EQ(WhatOf<std::runtime_error>(output.error), "Wrong Point type");
}

// Moves whose cost cannot be read are discarded; the pre-computations read such
// a cost as 9999.0.
TEST(SolverSolveWith, UnreadableCostsAreNoMoves) {
  {
    // 0 -> 2 has no arc, so the only tour is 0 -> 1 -> 2 and the (free) stop at 0.
    SparseGraph graph;
    graph.ChangeCostDim(1, 9999.0);
    const std::vector<std::pair<int32_t, int32_t>> arcs = {{0, 1}, {1, 0}, {1, 2}, {2, 1}, {2, 0}};
    for (auto [u, v] : arcs) graph.AddArc(u, v, {1.0});
    LineInput input;
    SolverProbe solver(Problem{}, Options{});
    ASSERT_EQ(solver.SolveWith(&graph, input.points, input.agents, {0}, {0}, 30.0, ""), 1);
    EXPECT_FALSE(solver.return_to_end_);
    EXPECT_EQ(solver.get_result_process().front().second.paths.at(0),
              (std::vector<int32_t>{0, 1, 2, 0}));
  }
  {
    LineInput input;  // the agent's type is beyond the graph's one cost component
    for (Point& point : input.points) point.types = {0, 1};
    input.agents[0].type = 1;
    SolverProbe solver(Problem{}, Options{});
    Capture([&] {
      EXPECT_EQ(solver.SolveWith(&input.graph, input.points, input.agents, {0}, {0}, 30.0, ""), 0);
    });
    EXPECT_FALSE(solver.get_result().timeout);
  }
  SparseGraph empty_costs;  // cost dimension 0: every arc exists but carries no cost
  for (int32_t u = 0; u < 3; ++u) {
    for (int32_t v = 0; v < 3; ++v) {
      if (u != v) empty_costs.AddArc(u, v, {});
    }
  }
  LineInput input;
  SolverProbe solver(Problem{}, Options{});
  Capture([&] {
    EXPECT_EQ(solver.SolveWith(&empty_costs, input.points, input.agents, {0}, {0}, 30.0, ""), 0);
  });
  EXPECT_EQ(solver.unreachable_, (std::vector<int32_t>{0}));
  EXPECT_TRUE(solver.mst_edges_.empty());
}

TEST(SolverSolveWith, RejectsInputItCannotIndexSafely) {
  struct Case {
    bool null_graph;
    size_t points;
    size_t agents;
    std::vector<int32_t> starts;
    std::vector<int32_t> ends;
  };
  const std::vector<Case> cases = {
      {true, 3, 1, {0}, {0}},      {false, 3, 1, {3}, {0}},         {false, 3, 1, {0}, {-1}},
      {false, 3, 2, {0, 1}, {0}},  {false, 3, 1, {0, 1}, {0, 1}},  {false, 4, 1, {0}, {0}},
  };
  for (size_t k = 0; k < cases.size(); ++k) {
    const Case& c = cases[k];
    LineInput input;
    input.points.resize(c.points, input.points[0]);
    input.agents.resize(c.agents);
    SolverProbe solver(Problem{}, Options{});
    EXPECT_THROW(solver.SolveWith(c.null_graph ? nullptr : &input.graph, input.points,
                                  input.agents, c.starts, c.ends, 30.0, ""),
                 std::runtime_error)
        << "case " << k;
  }
}

}  // namespace
}  // namespace quarn::test
