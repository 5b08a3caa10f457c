#include <gtest/gtest.h>

#include <stdexcept>

#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

// SolveWith on the line's points and agents, one route from and to node 0.
Output SolveWith(Solver& solver, const PlannerGraph* graph, const LineInput& input) {
  return Capture([&] { solver.SolveWith(graph, input.points, input.agents, {0}, {0}, 30.0, ""); });
}

TEST(SolverSetPoints, AcceptsOnlyTypeListsZeroOrZeroOne) {
  Solver solver(Problem{}, Options{});
  EXPECT_NO_THROW(solver.SetPoints({}));
  EXPECT_NO_THROW(solver.SetPoints(PointsWithTypes({{0}, {0, 1}})));
  for (std::vector<int32_t> types : {std::vector<int32_t>{}, {1}, {1, 0}, {0, 1, 2}}) {
    const Output output = Capture([&] { solver.SetPoints(PointsWithTypes({{0}, types})); });
    EXPECT_EQ(WhatOf<std::runtime_error>(output.error), "Wrong Point type");
    EXPECT_EQ(output.err, "Wrong Point type\n");
  }
  LineInput input;  // SolveWith reaches the same check
  input.points[1].types = {1};
  EXPECT_EQ(WhatOf<std::runtime_error>(SolveWith(solver, &input.graph, input).error), "Wrong Point type");
}

// Moves whose cost cannot be read are discarded; the pre-computations read such
// a cost as 9999.0.
TEST(SolverSolveWith, UnreadableCostsAreNoMoves) {
  const LineInput input;
  SparseGraph no_arc_0_to_2;  // the only tour is 0 -> 1 -> 2 and the (free) stop at 0
  no_arc_0_to_2.ChangeCostDim(1, 9999.0);
  for (auto [u, v] : {std::pair{0, 1}, {1, 0}, {1, 2}, {2, 1}, {2, 0}}) no_arc_0_to_2.AddArc(u, v, {1.0});
  Solver first(Problem{}, Options{});
  SolveWith(first, &no_arc_0_to_2, input);
  ASSERT_FALSE(first.get_result_process().empty());  // the search's own solution, before improvement
  EXPECT_EQ(first.get_result_process().front().second.paths.at(0), (std::vector<int32_t>{0, 1, 2, 0}));

  LineInput beyond;  // the agent's type is beyond the graph's one cost component
  for (Point& point : beyond.points) point.types = {0, 1};
  beyond.agents[0].type = 1;
  Solver second(Problem{}, Options{});
  SolveWith(second, &beyond.graph, beyond);
  EXPECT_TRUE(second.get_result().paths.empty());
  EXPECT_FALSE(second.get_result().timeout);

  SparseGraph no_costs;  // cost dimension 0: every arc exists but carries no cost
  for (int32_t u = 0; u < 3; ++u) {
    for (int32_t v = 0; v < 3; ++v) {
      if (u != v) no_costs.AddArc(u, v, {});
    }
  }
  Solver third(Problem{}, Options{});
  EXPECT_EQ(SolveWith(third, &no_costs, input).err, "point: 0 can't be reached\n");
  EXPECT_TRUE(third.get_result().paths.empty());
  EXPECT_FALSE(third.get_result().timeout);
}

TEST(SolverSolveWith, RejectsInputItCannotIndexSafely) {
  struct Case { bool null_graph; size_t points, agents; std::vector<int32_t> starts, ends; };
  const std::vector<Case> cases = {
      {true, 3, 1, {0}, {0}},      {false, 3, 1, {3}, {0}},         {false, 3, 1, {0}, {-1}},
      {false, 3, 2, {0, 1}, {0}},  {false, 3, 1, {0, 1}, {0, 1}},  {false, 4, 1, {0}, {0}},
  };
  for (size_t k = 0; k < cases.size(); ++k) {
    const Case& c = cases[k];
    LineInput input(c.agents);
    input.points.resize(c.points, input.points[0]);
    Solver solver(Problem{}, Options{});
    EXPECT_THROW(solver.SolveWith(c.null_graph ? nullptr : &input.graph, input.points, input.agents,
                                  c.starts, c.ends, 30.0, ""),
                 std::runtime_error)
        << "case " << k;
  }
}

}  // namespace
}  // namespace quarn::test
