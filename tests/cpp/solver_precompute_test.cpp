#include <gtest/gtest.h>

#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

struct Window { uint64_t node; double open, close; };

// MatrixProblem with the given windows.
Problem WindowedProblem(const CostMatrix& matrix, const std::vector<Window>& windows) {
  Problem problem = MatrixProblem(matrix);
  TimeWindowConstraint constraint;
  for (const Window& w : windows) constraint.set_timewindow(w.node, w.open, w.close);
  problem.set_timewindow_constraint(constraint);
  return problem;
}

std::string Blocked(int count, int pairs) {
  return "[TW-MST] blocked edges: " + std::to_string(count) + " / " + std::to_string(pairs) +
         " (set MTSP_DEBUG_TW_EDGES=1 for details)\n";
}

// Two nodes: the edge weighs the cheaper direction, with the waiting the windows
// force; a pair no direction can serve is blocked (weight 0 here).
TEST(TimeWindowMst, EdgeWeightIsTheCheapestDirectionWithForcedWaiting) {
  struct Case { const char* label; CostMatrix matrix; std::vector<Window> windows; double weight; };
  const std::vector<Case> cases = {
      {"no windows", {{0, 5}, {5, 0}}, {}, 5.0},
      // Leaving 0 at 10 at the latest still waits 35 at node 1; 1 -> 0 arrives too late.
      {"wait forced by windows", {{0, 5}, {5, 0}}, {{0, 0, 10}, {1, 50, 60}}, 40.0},
      // The tail has no end, so it can leave late enough not to wait.
      {"window only at the head", {{0, 5}, {100, 0}}, {{1, 20, 30}}, 5.0},
      {"cheaper reverse direction", {{0, 8}, {3, 0}}, {}, 3.0},
      {"blocked one way", {{0, 9999}, {6, 0}}, {}, 6.0},
      // 0 -> 1 arrives at 25 at the earliest (closed at 3); leave 1 at 3, wait 12 at 0.
      {"closed one way", {{0, 5}, {5, 0}}, {{0, 20, 30}, {1, 0, 3}}, 17.0},
      {"closed both ways", {{0, 5}, {5, 0}}, {{0, 20, 21}, {1, 20, 21}}, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Problem problem = WindowedProblem(c.matrix, c.windows);
    std::unique_ptr<SolverProbe> solver;
    const Output output = Capture([&] { solver = std::make_unique<SolverProbe>(problem, Options{}); });
    if (c.weight == 0.0) {
      EXPECT_EQ(output.out, Blocked(1, 1));
      EXPECT_TRUE(solver->mst_edges_.empty());
      continue;
    }
    EXPECT_EQ(output.out, "");
    ASSERT_EQ(solver->mst_edges_.size(), 1u);
    EXPECT_EQ(solver->mst_edges_[0].u, 1u);
    EXPECT_EQ(solver->mst_edges_[0].v, 0u);
    EXPECT_DOUBLE_EQ(solver->mst_edges_[0].weight, c.weight);
  }
}

TEST(TimeWindowMst, DebugLinesWheneverTheVariableExistsWhateverItsValue) {
  const CostMatrix all_blocked = {{0, 9999, 9999}, {9999, 0, 9999}, {9999, 9999, 0}};
  EXPECT_EQ(Capture([&] { Solver solver(MatrixProblem(all_blocked), Options{}); }).out,
            Blocked(3, 3));
  ASSERT_EQ(setenv("MTSP_DEBUG_TW_EDGES", "0", 1), 0);
  const Output output = Capture([&] { Solver solver(MatrixProblem(all_blocked), Options{}); });
  unsetenv("MTSP_DEBUG_TW_EDGES");
  EXPECT_EQ(output.out,
            "edge: 1->0 cost: 1.79769e+308\n"
            "edge: 2->0 cost: 1.79769e+308\n"
            "edge: 2->1 cost: 1.79769e+308\n" +
                Blocked(3, 3));
}

TEST(Reachability, ReportsDepotsWhoseEveryArcIsMissingForTypeZeroAndStillSolves) {
  // Node 0 is the depot of type "a" (index 0); only type "b" can leave it.
  Problem problem = GridProblem({{0, 0}, {0, 0}, {0, 0}}, {{0, "a", 0, 0}, {1, "b", 1, 1}});
  problem.set_cost_matrix("a", {{0, 9999, 9999}, {1, 0, 9999}, {9999, 9999, 0}});
  const Options options = MakeOptions(ObjectiveType::MinMax, true);
  std::unique_ptr<Solver> solver;
  const Output output = Capture([&] { solver = std::make_unique<Solver>(problem, options); });
  // Node 2 has no way out either, but it is a target, so it is never reported.
  EXPECT_EQ(output.err,
            "[warning] 5 cost entries are at or above missing_cost (9999): they count as no arc; "
            "raise \"missing_cost\" if they are real costs\npoint: 0 can't be reached\n");
  // The unreachable depot counts as visited from the start, so a goal can be reached.
  Capture([&] { EXPECT_EQ(solver->solve(), 1); });
  EXPECT_EQ(Violations(problem, options, solver->get_result()), "");
}

}  // namespace
}  // namespace quarn::test
