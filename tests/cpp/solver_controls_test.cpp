#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
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

Options MinMax(double time_limit = 30.0) {
  return MakeOptions(ObjectiveType::MinMax, true, time_limit);
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
  for (const AnytimeEntry& entry : solver.get_result_process()) {
    run.anytime.push_back(MaxOf(entry.second));
  }
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
  // Whatever was found before the stop is the result, and it is a real solution.
  ASSERT_EQ(cut.status, 1);
  EXPECT_EQ(Violations(Scattered(), MinMax(), cut.result), "");
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

// Each stop is tested before the first pop: the root stays unexpanded, no
// solution, timeout set. A NaN limit must read as "no time", not as "no limit".
TEST(SolverControls, AStopBeforeTheFirstPopEndsWithoutASolution) {
  struct Stop {
    const char* label;
    double time_limit;
    uint64_t memory_limit;
  };
  const Outcome full = Unlimited();
  for (const Stop& stop : {Stop{"time limit past", -1.0, HalfPhysicalMemory()},
                           Stop{"NaN time limit", std::numeric_limits<double>::quiet_NaN(),
                                HalfPhysicalMemory()},
                           Stop{"memory bound below the root", 30.0, 1}}) {
    SCOPED_TRACE(stop.label);
    SolverProbe solver(Scattered(), MinMax(stop.time_limit));
    solver.SetMemoryLimit(stop.memory_limit);
    EXPECT_EQ(solver.solve(), 0);
    const Result result = solver.get_result();
    EXPECT_TRUE(result.timeout);
    EXPECT_EQ(result.n_expanded, 0);
    EXPECT_EQ(result.n_generated, 1);
    EXPECT_TRUE(result.paths.empty());
    EXPECT_EQ(solver.open_.size(), 1u);  // the root is still there
    EXPECT_TRUE(solver.get_result_process().empty());
    // The solver stays usable: with the stop lifted the next search is complete.
    solver.time_limit_ = 30.0;
    solver.SetMemoryLimit(HalfPhysicalMemory());
    ExpectSameSearch(full, Finish(solver));
  }
}

// Sixty scattered targets and four agents: far too many joint states for the
// search to end on its own, so only a bound can stop it.
Problem LargeInstance() {
  std::vector<std::pair<int, int>> coords{{50, 50}};
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) % 101);
  };
  while (coords.size() < 61) coords.emplace_back(next(), next());
  std::vector<AgentSpec> agents;
  for (uint64_t k = 0; k < 4; ++k) agents.push_back({k, "a", 0, 0});
  return GridProblem(coords, agents);
}

// Heap bytes the allocator has handed out; 0 where a sanitizer's allocator hides them.
uint64_t HeapInUse() { return mallinfo2().uordblks; }

TEST(SolverControls, MemoryBoundEndsAnUnlimitedSearchCleanlyWithTheBestSolutionSoFar) {
  constexpr uint64_t kSmallBound = 8ull << 20;
  const Options options = MinMax(std::numeric_limits<double>::infinity());
  const uint64_t heap_before = HeapInUse();
  Solver solver(LargeInstance(), options);
  solver.SetMemoryLimit(kSmallBound);
  const int32_t status = solver.solve();

  const Result result = solver.get_result();
  EXPECT_TRUE(result.timeout);
  ASSERT_EQ(status, 1) << "the bound leaves room for a first solution";
  EXPECT_EQ(Violations(LargeInstance(), options, result), "");
  const auto record = solver.get_result_process();
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(record.back().second.paths, result.paths);
  EXPECT_EQ(record.back().second.times, result.times);
  // The test runs before each pop, so the search stops within one expansion of
  // the bound: sixty children at most.
  EXPECT_GT(solver.MemoryInUse(), kSmallBound);
  EXPECT_LT(solver.MemoryInUse(), kSmallBound + (1u << 20));
  // The estimate follows what the search really holds, or the bound would not
  // protect the machine.
  const uint64_t heap_after = HeapInUse();
  if (heap_before != 0 && heap_after > heap_before) {
    EXPECT_LT(heap_after - heap_before, 2 * solver.MemoryInUse());
  }
}

// Found by the fuzzer: with no agents the label records have no cost slots, and
// copying zero bytes from an empty vector's null data is undefined behaviour.
TEST(SolverControls, EmptyInstanceIsSearchedWithoutTouchingEmptyStorage) {
  Solver solver(Problem{}, Options{});
  solver.solve();  // the empty root is already complete
  EXPECT_TRUE(solver.get_result().paths.empty());
  EXPECT_FALSE(solver.get_result().timeout);
}

}  // namespace
}  // namespace quarn::test
