#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

struct Window {
  uint64_t node;
  double open;
  double close;
};

// Nodes 0..n-1 with one agent of type "a" at node 0 and the given matrix.
Problem MatrixProblem(const CostMatrix& matrix, const std::vector<Window>& windows = {}) {
  Problem problem;
  for (uint64_t id = 0; id < matrix.size(); ++id) {
    Node node;
    node.id = id;
    problem.add_node(node);
  }
  Agent agent;
  agent.type = "a";
  problem.add_agent(agent, 0);
  problem.set_cost_matrix("a", matrix);
  AssignmentConstraint assignment;
  for (uint64_t id = 0; id < matrix.size(); ++id) assignment.set_assignment(id, {"a"});
  problem.set_assignment_constraint(assignment);
  TimeWindowConstraint constraint;
  for (const Window& w : windows) constraint.set_timewindow(w.node, w.open, w.close);
  problem.set_timewindow_constraint(constraint);
  return problem;
}

struct MstCase {
  const char* label;
  CostMatrix matrix;
  std::vector<Window> windows;
  double weight;
};

class TimeWindowEdge : public ::testing::TestWithParam<MstCase> {};

TEST_P(TimeWindowEdge, WeightIsTheCheapestDirectionWithForcedWaiting) {
  const MstCase& c = GetParam();
  CaptureStdout();
  SolverProbe solver(MatrixProblem(c.matrix, c.windows), Options{});
  EXPECT_EQ(GetCapturedStdout(), "");
  ASSERT_EQ(solver.mst_edges_.size(), 1u);
  EXPECT_EQ(solver.mst_edges_[0].u, 1u);
  EXPECT_EQ(solver.mst_edges_[0].v, 0u);
  EXPECT_DOUBLE_EQ(solver.mst_edges_[0].weight, c.weight);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TimeWindowEdge,
    ::testing::Values(
        MstCase{"no_windows", {{0, 5}, {5, 0}}, {}, 5.0},
        // Leaving 0 at 10 at the latest still waits 35 at node 1; 1 -> 0 arrives too late.
        MstCase{"wait_forced_by_windows", {{0, 5}, {5, 0}}, {{0, 0, 10}, {1, 50, 60}}, 40.0},
        // The tail has no end, so it can leave late enough not to wait.
        MstCase{"window_only_at_head", {{0, 5}, {100, 0}}, {{1, 20, 30}}, 5.0},
        MstCase{"cheaper_reverse_direction", {{0, 8}, {3, 0}}, {}, 3.0},
        MstCase{"blocked_one_way", {{0, 9999}, {6, 0}}, {}, 6.0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(TimeWindowMst, EdgesAreSortedByWeight) {
  SolverProbe solver(MatrixProblem({{0, 4, 1, 7}, {4, 0, 2, 3}, {1, 2, 0, 5}, {7, 3, 5, 0}}),
                     Options{});
  ASSERT_EQ(solver.mst_edges_.size(), 6u);
  for (size_t k = 1; k < solver.mst_edges_.size(); ++k) {
    EXPECT_LE(solver.mst_edges_[k - 1].weight, solver.mst_edges_[k].weight);
  }
  EXPECT_EQ(solver.mst_edges_[0].u, 2u);
  EXPECT_EQ(solver.mst_edges_[0].v, 0u);
}

const CostMatrix kAllBlocked = {{0, 9999, 9999}, {9999, 0, 9999}, {9999, 9999, 0}};

TEST(TimeWindowMst, BlockedPairsAreSummarised) {
  CaptureStdout();
  CaptureStderr();
  SolverProbe solver(MatrixProblem(kAllBlocked), Options{});
  GetCapturedStderr();
  EXPECT_EQ(GetCapturedStdout(),
            "[TW-MST] blocked edges: 3 / 3 (set MTSP_DEBUG_TW_EDGES=1 for details)\n");
  EXPECT_TRUE(solver.mst_edges_.empty());
}

TEST(TimeWindowMst, WindowsThatCloseBeforeArrivalBlockThePair) {
  CaptureStdout();
  SolverProbe solver(MatrixProblem({{0, 5}, {5, 0}}, {{0, 20, 30}, {1, 0, 3}}), Options{});
  // 0 -> 1 arrives at 25 at the earliest (closed at 3); 1 -> 0 is fine.
  EXPECT_EQ(GetCapturedStdout(), "");
  ASSERT_EQ(solver.mst_edges_.size(), 1u);
  EXPECT_DOUBLE_EQ(solver.mst_edges_[0].weight, 17.0);  // leave 1 at 3, wait 20 - 8 = 12

  CaptureStdout();
  SolverProbe blocked(MatrixProblem({{0, 5}, {5, 0}}, {{0, 20, 21}, {1, 20, 21}}), Options{});
  EXPECT_EQ(GetCapturedStdout(),
            "[TW-MST] blocked edges: 1 / 1 (set MTSP_DEBUG_TW_EDGES=1 for details)\n");
}

TEST(TimeWindowMst, DebugLinesWheneverTheVariableExistsWhateverItsValue) {
  ASSERT_EQ(setenv("MTSP_DEBUG_TW_EDGES", "0", 1), 0);
  CaptureStdout();
  CaptureStderr();
  SolverProbe solver(MatrixProblem(kAllBlocked), Options{});
  GetCapturedStderr();
  const std::string out = GetCapturedStdout();
  unsetenv("MTSP_DEBUG_TW_EDGES");
  EXPECT_EQ(out,
            "edge: 1->0 cost: 1.79769e+308\n"
            "edge: 2->0 cost: 1.79769e+308\n"
            "edge: 2->1 cost: 1.79769e+308\n"
            "[TW-MST] blocked edges: 3 / 3 (set MTSP_DEBUG_TW_EDGES=1 for details)\n");
}

TEST(Reachability, ReportsDepotsWhoseEveryArcIsMissingForTypeZero) {
  // Node 0 is the depot of type "a" (index 0); only type "b" can leave it.
  Problem problem = MatrixProblem({{0, 9999, 9999}, {1, 0, 9999}, {9999, 9999, 0}});
  Agent other;
  other.id = 1;
  other.type = "b";
  problem.add_agent(other, 1);
  problem.set_cost_matrix("b", {{0, 1, 1}, {1, 0, 1}, {1, 1, 0}});
  AssignmentConstraint assignment;
  for (uint64_t id = 0; id < 3; ++id) assignment.set_assignment(id, {"a", "b"});
  problem.set_assignment_constraint(assignment);

  CaptureStderr();
  SolverProbe solver(problem, Options{});
  const std::string err = GetCapturedStderr();
  // Node 2 has no way out either, but it is a target, so it is never reported.
  EXPECT_EQ(solver.unreachable_, (std::vector<int32_t>{0}));
  EXPECT_EQ(err, "point: 0 can't be reached\n");
}

TEST(Reachability, UnreachableDepotsCountAsVisitedInTheRoot) {
  CaptureStderr();
  SolverProbe solver(MatrixProblem({{0, 9999}, {9999, 0}}), Options{});
  GetCapturedStderr();
  Label root = solver.MakeRoot();
  EXPECT_TRUE(root.visited.test(0));
  EXPECT_FALSE(root.visited.test(1));
}

}  // namespace
}  // namespace quarn::test
