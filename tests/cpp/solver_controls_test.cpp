#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

// Big enough that the search finds several solutions and runs on for a while
// after the first; small enough that it ends on its own.
Problem Scattered() {
  return GridProblem({{0, 0}, {3, 1}, {-2, 4}, {5, -3}, {1, 6}, {-4, -2}, {6, 2}, {-1, -5}, {2, 3}},
                     {{0, "a", 0, 0}, {1, "a", 0, 0}});
}

Options MinMax() { return MakeOptions(ObjectiveType::MinMax, true); }

std::vector<double> AnytimeCosts(const Solver& solver) {
  std::vector<double> costs;
  for (const AnytimeEntry& entry : solver.get_result_process()) costs.push_back(MaxOf(entry.second));
  return costs;
}

std::string Describe(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& error : errors) text += error + "\n";
  return text;
}

struct Outcome {
  int32_t status = 0;
  Result result;
  std::vector<double> anytime;
};

Outcome Finish(Solver& solver) {
  Outcome run;
  run.status = solver.solve();
  run.result = solver.get_result();
  run.anytime = AnytimeCosts(solver);
  return run;
}

void ExpectSameSearch(const Outcome& a, const Outcome& b) {
  EXPECT_EQ(a.status, b.status);
  EXPECT_EQ(a.result.paths, b.result.paths);
  EXPECT_EQ(a.result.times, b.result.times);
  EXPECT_EQ(a.result.n_generated, b.result.n_generated);
  EXPECT_EQ(a.result.n_expanded, b.result.n_expanded);
  EXPECT_EQ(a.result.timeout, b.result.timeout);
  EXPECT_EQ(a.anytime, b.anytime);
}

Outcome Unlimited() {
  SolverProbe solver(Scattered(), MinMax());
  return Finish(solver);
}

TEST(SolverControls, ExpansionBudgetStopsLikeATimeOutAndIsReproducible) {
  const Outcome full = Unlimited();
  ASSERT_EQ(full.status, 1);
  ASSERT_FALSE(full.result.timeout);
  ASSERT_GT(full.result.n_expanded, 20) << "the instance is too easy to cut short";

  const auto budget = static_cast<uint64_t>(full.result.n_expanded / 2);
  SolverProbe first(Scattered(), MinMax());
  first.SetExpansionBudget(budget);
  const Outcome cut = Finish(first);
  EXPECT_TRUE(cut.result.timeout);
  EXPECT_EQ(static_cast<uint64_t>(cut.result.n_expanded), budget);
  EXPECT_LT(cut.result.n_generated, full.result.n_generated);
  // Whatever was found before the stop is the result, and it is a real solution.
  ASSERT_EQ(cut.status, 1);
  EXPECT_EQ(Describe(CheckSolution(Scattered(), MinMax(), cut.result)), "");
  ASSERT_LE(cut.anytime.size(), full.anytime.size());
  EXPECT_EQ(cut.anytime, std::vector<double>(full.anytime.begin(),
                                             full.anytime.begin() + cut.anytime.size()));

  SolverProbe second(Scattered(), MinMax());
  second.SetExpansionBudget(budget);
  ExpectSameSearch(cut, Finish(second));

  // A budget the search never reaches, or none at all, changes nothing.
  SolverProbe roomy(Scattered(), MinMax());
  roomy.SetExpansionBudget(static_cast<uint64_t>(full.result.n_expanded) + 1);
  ExpectSameSearch(full, Finish(roomy));
  roomy.SetExpansionBudget(0);
  ExpectSameSearch(full, Finish(roomy));
}

struct Interrupted : std::runtime_error {
  Interrupted() : std::runtime_error("interrupted") {}
};

TEST(SolverControls, InterruptLeavesSolveAndALaterSolveStartsAfresh) {
  const Outcome full = Unlimited();
  SolverProbe solver(Scattered(), MinMax());
  int64_t calls = 0;
  solver.SetInterruptCheck([&calls] {
    if (++calls == 15) throw Interrupted();
  });
  EXPECT_THROW(solver.solve(), Interrupted);
  EXPECT_EQ(calls, 15);

  // Counting every call shows one per iteration, and a later solve is unaffected.
  calls = 0;
  solver.SetInterruptCheck([&calls] { ++calls; });
  const Outcome again = Finish(solver);
  ExpectSameSearch(full, again);
  EXPECT_GE(calls, static_cast<int64_t>(again.result.n_expanded));
  EXPECT_LE(calls, static_cast<int64_t>(again.result.n_generated));

  solver.SetInterruptCheck(nullptr);
  ExpectSameSearch(full, Finish(solver));
}

TEST(SolverControls, MemoryLimitEndsTheSearchCleanlyWithTheSolutionSoFar) {
  // Watch the estimate grow, and note the most it held before a solution existed.
  SolverProbe watched(Scattered(), MinMax());
  uint64_t peak_before_solution = 0;
  uint64_t peak = 0;
  watched.SetInterruptCheck([&] {
    peak = std::max(peak, watched.MemoryInUse());
    if (watched.found_ == 0) peak_before_solution = peak;
  });
  const Outcome full = Finish(watched);
  ASSERT_EQ(full.status, 1);
  ASSERT_GT(peak_before_solution, 0u);
  ASSERT_LT(peak_before_solution, peak) << "the estimate should grow after the first solution";

  // The same search under that bound runs until a solution exists, then stops
  // at the first estimate above it.
  SolverProbe bounded(Scattered(), MinMax());
  bounded.SetMemoryLimit(peak_before_solution);
  const Outcome cut = Finish(bounded);
  ASSERT_EQ(cut.status, 1);
  EXPECT_TRUE(cut.result.timeout);
  EXPECT_LT(cut.result.n_expanded, full.result.n_expanded);
  EXPECT_EQ(Describe(CheckSolution(Scattered(), MinMax(), cut.result)), "");

  // The default bound is far above anything a small search holds.
  EXPECT_GT(HalfPhysicalMemory(), peak);
}

}  // namespace
}  // namespace quarn::test
