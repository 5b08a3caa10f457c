#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

constexpr uint64_t kSmallBound = 8ull << 20;

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

std::string Describe(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& error : errors) text += error + "\n";
  return text;
}

// Heap bytes the allocator has handed out; 0 where a sanitizer's allocator hides them.
uint64_t HeapInUse() { return mallinfo2().uordblks; }

TEST(MemoryBound, EndsAnUnlimitedSearchCleanlyWithTheBestSolutionSoFar) {
  const Options options =
      MakeOptions(ObjectiveType::MinMax, true, std::numeric_limits<double>::infinity());
  const uint64_t heap_before = HeapInUse();
  Solver solver(LargeInstance(), options);
  solver.SetMemoryLimit(kSmallBound);

  const int32_t status = solver.solve();

  const Result result = solver.get_result();
  EXPECT_TRUE(result.timeout);
  ASSERT_EQ(status, 1) << "the bound leaves room for a first solution";
  EXPECT_EQ(Describe(CheckSolution(LargeInstance(), options, result)), "");
  // The anytime record ends with the solution handed out.
  const auto record = solver.get_result_process();
  ASSERT_FALSE(record.empty());
  EXPECT_EQ(record.back().second.paths, result.paths);
  EXPECT_EQ(record.back().second.times, result.times);

  // The test runs before the pop, so the search stops within one expansion of
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

TEST(MemoryBound, ABoundBelowTheRootEndsTheSearchAtOnce) {
  Solver solver(LargeInstance(), MakeOptions(ObjectiveType::MinSum, true));
  solver.SetMemoryLimit(1);
  EXPECT_EQ(solver.solve(), 0);
  const Result result = solver.get_result();
  EXPECT_TRUE(result.timeout);
  EXPECT_EQ(result.n_expanded, 0);
  EXPECT_TRUE(result.paths.empty());
  // The solver stays usable: lifting the bound lets the next search expand.
  solver.SetMemoryLimit(kSmallBound);
  EXPECT_EQ(solver.solve(), 1);
  EXPECT_GT(solver.get_result().n_expanded, 0);
}

// Found by the fuzzer: with no agents the label records have no cost slots, and
// copying zero bytes from an empty vector's null data is undefined behaviour.
TEST(EmptyInstance, IsSearchedWithoutTouchingEmptyStorage) {
  Solver solver(Problem{}, Options{});
  solver.solve();  // the empty root is already complete
  EXPECT_TRUE(solver.get_result().paths.empty());
  EXPECT_FALSE(solver.get_result().timeout);
}

// A NaN compares false with everything: the limit test must read it as "no time".
TEST(TimeLimit, NaNGrantsNoSearchTime) {
  Options options = MakeOptions(ObjectiveType::MinMax, true);
  options.time_limit = std::numeric_limits<double>::quiet_NaN();
  Solver solver(GridProblem({{0, 0}, {1, 0}, {0, 1}}, {{0, "a", 0, 0}}), options);
  EXPECT_EQ(solver.solve(), 0);
  EXPECT_TRUE(solver.get_result().timeout);
  EXPECT_EQ(solver.get_result().n_expanded, 0);
}

// Agents that share a home and have nothing to do still close their routes there:
// each closing move changes only the finish flags, and must not be pruned as
// dominated by the label it came from.
TEST(SharedHome, IdleAgentsCloseTheirRoutes) {
  std::vector<AgentSpec> agents{{0, "a", 1, 0}, {1, "a", 0, 0}, {2, "a", 0, 0}, {3, "a", 0, 0}};
  Problem problem = GridProblem({{0, 0}, {3, 0}, {3, 4}}, agents);
  Options options = MakeOptions(ObjectiveType::MinMax, true);
  Solver solver(problem, options);
  ASSERT_EQ(solver.solve(), 1);
  EXPECT_EQ(Describe(CheckSolution(problem, options, solver.get_result())), "");
}

}  // namespace
}  // namespace quarn::test
