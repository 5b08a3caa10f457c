#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "graph/complete_graph.h"
#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

std::vector<std::pair<int, int>> Grid(int n) {
  std::vector<std::pair<int, int>> coords;
  for (int i = 0; i < n; ++i) coords.emplace_back(i % 20, i / 20);
  return coords;
}

// The complete graph on a 40-wide grid (Manhattan costs, one component) that
// refuses to hand out more costs than its budget, so a set-up that reads the
// graph more than a few times over fails.
class BudgetedGraph : public CompleteGraph {
 public:
  BudgetedGraph(int32_t n, uint64_t budget) : CompleteGraph(GridCosts(n), 1), budget_(budget) {}
  CostVector GetArcCost(int32_t u, int32_t v) const override {
    if (++spent_ > budget_) throw std::logic_error("set-up read the graph beyond its budget");
    return CompleteGraph::GetArcCost(u, v);
  }

 private:
  static DenseCostTable GridCosts(int32_t n) {
    DenseCostTable costs(n, 1, 0.0);
    for (int32_t u = 0; u < n; ++u) {
      for (int32_t v = 0; v < n; ++v) {
        if (u != v) costs.Set(u, v, 0, std::abs(u % 40 - v % 40) + std::abs(u / 40 - v / 40));
      }
    }
    return costs;
  }

  uint64_t budget_;
  mutable uint64_t spent_ = 0;
};

// Beyond the exact search "improve" runs the phase alone under its budget: a
// valid answer, no search counted, the anytime list filled; without "improve"
// the instance is refused while the solver is built.
TEST(LargeInstances, PhaseAloneOrRefusedAtOnce) {
  const std::vector<AgentSpec> fleet = {{0, "a", 0, 0}, {1, "a", 0, 0}, {2, "a", 0, 0}};
  const Problem problem = GridProblem(Grid(300), fleet);
  for (ObjectiveType objective : {ObjectiveType::MinSum, ObjectiveType::MinMax}) {
    for (bool return_to_end : {true, false}) {
      Options options = MakeOptions(objective, return_to_end, 1e6);
      options.improve = true;
      options.max_iterations = 30;
      Solver solver(problem, options);
      int32_t found = 0;
      ASSERT_FALSE(Capture([&] { found = solver.solve(); }).error);
      EXPECT_EQ(found, 1);
      const Result result = solver.get_result();
      EXPECT_EQ(Violations(problem, options, result), "");
      EXPECT_EQ(std::make_pair(result.n_generated, result.n_expanded), std::make_pair(0, 0));
      EXPECT_FALSE(solver.get_result_process().empty());
    }
  }
  const Output refused = Capture([&] { Solver solver(problem, MakeOptions(ObjectiveType::MinMax, true)); });
  EXPECT_EQ(WhatOf<std::runtime_error>(refused.error),
            "the solver handles at most 256 nodes, but the instance has 300");
}

// A target whose window closes before any agent can arrive: the phase never has a
// plan. Whether it was cut (the limit, the budget, tables beyond the memory bound)
// or ended on its own (the stall) is what "timeout" must tell, beyond 256 nodes and
// below, for a "failed" result with "timeout" false claims the instance was
// searched out.
TEST(LargeInstances, APhaseWithoutAPlanSaysWhatEndedIt) {
  struct Case {
    const char* name;
    double time_limit;
    uint64_t budget;
    uint64_t stall;
    bool timeout;
    uint64_t memory_bytes = 0;  // 0: the default bound
  };
  const Case cases[] = {{"budget", 1e6, 20, 1u << 30, true},
                        {"stall", 1e6, 0, 5, false},
                        {"limit passed", -1.0, 0, 5, true},
                        {"NaN limit", std::numeric_limits<double>::quiet_NaN(), 0, 5, true},
                        {"memory bound", 1e6, 0, 5, true, 4096}};
  const std::vector<AgentSpec> fleet = {{0, "a", 0, 0}, {1, "a", 0, 0}};
  for (int nodes : {10, 300}) {
    Problem problem = GridProblem(Grid(nodes), fleet);
    TimeWindowConstraint windows;
    windows.set_timewindow(static_cast<uint64_t>(nodes - 1), 0.0, 1.0);
    problem.set_timewindow_constraint(windows);
    for (const Case& c : cases) {
      Options options = MakeOptions(ObjectiveType::MinSum, true, c.time_limit);
      options.improve = true;
      options.max_iterations = c.budget;
      options.improve_stall = c.stall;
      Solver solver(problem, options);
      if (c.memory_bytes != 0) solver.SetMemoryLimit(c.memory_bytes);
      int32_t found = 1;
      ASSERT_FALSE(Capture([&] { found = solver.solve(); }).error);
      EXPECT_EQ(found, 0) << nodes << " nodes, " << c.name;
      EXPECT_EQ(solver.get_result().timeout, c.timeout) << nodes << " nodes, " << c.name;
    }
  }
}

// A caller's graph of 1,000 vertices: the set-up for the phase reads each arc's
// cost about once (the budget is three readings of every arc), never n^3.
TEST(LargeInstances, SetupReadsEachArcAFewTimesOnly) {
  constexpr int32_t n = 1000;
  const BudgetedGraph graph(n, 3ull * n * n);
  Options options = MakeOptions(ObjectiveType::MinSum, false, 1e6);
  options.improve = true;
  options.max_iterations = 1;
  Solver solver(Problem{}, options);
  std::vector<Point> points = PointsWithTypes(std::vector<std::vector<int32_t>>(n, {0}));
  int32_t found = 0;
  const Output output = Capture([&] {
    found = solver.SolveWith(&graph, points, AgentsOfTypes({0, 0}), {0, 0}, {0, 0}, 1e6, "");
  });
  ASSERT_FALSE(output.error) << WhatOf<std::logic_error>(output.error);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(solver.get_result().n_expanded, 0);
}

}  // namespace
}  // namespace quarn::test
