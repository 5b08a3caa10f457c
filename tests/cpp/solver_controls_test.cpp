#include <gtest/gtest.h>

#include <malloc.h>

#include <limits>
#include <stdexcept>
#include <tuple>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "io/json_loader.h"
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

// What a search decided: status, routes, costs, counters, timeout, the anytime costs.
using Outcome = std::tuple<int32_t, std::unordered_map<int32_t, std::vector<int32_t>>,
                           std::unordered_map<int32_t, double>, int64_t, int64_t, bool, std::vector<double>>;
enum Field { kStatus, kPaths, kTimes, kGenerated, kExpanded, kTimeout, kAnytime };

Outcome Finish(Solver& solver) {
  const int32_t status = solver.solve();
  const Result r = solver.get_result();
  std::vector<double> anytime;
  for (const AnytimeEntry& entry : solver.get_result_process()) anytime.push_back(MaxOf(entry.second));
  return {status, r.paths, r.times, r.n_generated, r.n_expanded, r.timeout, anytime};
}

Outcome Unlimited() {
  Solver solver(Scattered(), MinMax());
  return Finish(solver);
}

TEST(SolverControls, ExpansionBudgetStopsLikeATimeOutAndIsReproducible) {
  const Outcome full = Unlimited();
  const auto [status, paths, times, generated, expanded, timeout, anytime] = full;
  ASSERT_EQ(std::make_pair(status, timeout), std::make_pair(1, false));
  ASSERT_GT(expanded, 20) << "the instance is too easy to cut short";

  const auto budget = static_cast<uint64_t>(expanded / 2);
  Solver first(Scattered(), MinMax());
  first.SetExpansionBudget(budget);
  const Outcome cut = Finish(first);
  EXPECT_TRUE(std::get<kTimeout>(cut));
  EXPECT_EQ(static_cast<uint64_t>(std::get<kExpanded>(cut)), budget);
  // Whatever was found before the stop is the result, and it is a real solution.
  ASSERT_EQ(std::get<kStatus>(cut), 1);
  EXPECT_EQ(Violations(Scattered(), MinMax(), first.get_result()), "");
  const std::vector<double>& cut_anytime = std::get<kAnytime>(cut);
  ASSERT_LE(cut_anytime.size(), anytime.size());
  EXPECT_EQ(cut_anytime, std::vector<double>(anytime.begin(), anytime.begin() + cut_anytime.size()));
  Solver second(Scattered(), MinMax());
  second.SetExpansionBudget(budget);
  EXPECT_EQ(cut, Finish(second));

  // A budget the search never reaches, or none at all, changes nothing.
  Solver roomy(Scattered(), MinMax());
  roomy.SetExpansionBudget(static_cast<uint64_t>(expanded) + 1);
  EXPECT_EQ(full, Finish(roomy));
  roomy.SetExpansionBudget(0);
  EXPECT_EQ(full, Finish(roomy));
}

struct Interrupted : std::runtime_error {
  Interrupted() : std::runtime_error("interrupted") {}
};

TEST(SolverControls, InterruptLeavesSolveAndALaterSolveStartsAfresh) {
  const Outcome full = Unlimited();
  Solver solver(Scattered(), MinMax());
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
  EXPECT_EQ(full, again);
  EXPECT_GE(calls, std::get<kExpanded>(again));
  EXPECT_LE(calls, std::get<kGenerated>(again));
  solver.SetInterruptCheck(nullptr);
  EXPECT_EQ(full, Finish(solver));
}

// Each stop is tested before the first pop: nothing expanded, no solution, timeout
// set. A NaN time limit must read as "no time", not as "no limit".
TEST(SolverControls, AStopBeforeTheFirstPopEndsWithoutASolution) {
  const Outcome stopped{0, {}, {}, 1, 0, true, {}};
  Solver past(Scattered(), MinMax(-1.0));
  EXPECT_EQ(Finish(past), stopped);
  Solver nan(Scattered(), MinMax(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(Finish(nan), stopped);
  Solver small(Scattered(), MinMax());
  small.SetMemoryLimit(1);  // below the root
  EXPECT_EQ(Finish(small), stopped);
  // The solver stays usable: with the bound lifted the next search is complete.
  small.SetMemoryLimit(HalfPhysicalMemory());
  EXPECT_EQ(Finish(small), Unlimited());
}

// A search that ends on its own proves nothing: each of these ended on its own
// above the optimum (checked by brute force); on the improve road the phase now
// follows it and reaches the optimum, and, without limit or budget, its stall
// rule ends it ("timeout" false).
TEST(SolverControls, ThePhaseFollowsASearchThatEndedOnItsOwn) {
  const std::pair<const char*, double> cases[] = {
      // Asymmetric costs: the search found 27.
      {R"({"nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 0, "y": 0},
                     {"id": 2, "x": 0, "y": 0}, {"id": 3, "x": 0, "y": 0}],
           "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0}],
           "costs": {"a": [[0, 5, 14, 2], [9, 0, 15, 10], [9, 9, 0, 1], [1, 1, 10, 0]]},
           "options": {"objective": "min_sum"}})", 22.0},
      // A window and missing arcs on an open route: the search found 30.
      {R"({"nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 0, "y": 0},
                     {"id": 2, "x": 0, "y": 0}, {"id": 3, "x": 0, "y": 0}, {"id": 4, "x": 0, "y": 0}],
           "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0}],
           "costs": {"a": [[0, 0, 12, 9, 2], [16339, 0, 12, 9, 2], [12, 12, 0, 7, 14],
                           [9, 9, 7, 0, 9999], [2, 12269, 14, 7, 0]]},
           "constraints": [{"kind": "timewindow", "items": [{"node": 1, "start": 13, "end": 34}]}],
           "options": {"objective": "min_max", "return_to_end": false}})", 28.0}};
  for (const auto& [text, optimum] : cases) {
    Problem problem;
    load_problem_from_json(nlohmann::json::parse(text), problem);
    Options options = problem.options();
    options.time_limit = std::numeric_limits<double>::infinity();
    options.improve = true;
    Solver solver(problem, options);
    ASSERT_EQ(solver.solve(), 1) << text;
    const Result result = solver.get_result();
    EXPECT_FALSE(result.timeout) << text;
    EXPECT_EQ(Violations(problem, options, result), "") << text;
    EXPECT_EQ(options.objective == ObjectiveType::MinSum ? SumOf(result) : MaxOf(result), optimum) << text;
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

}  // namespace
}  // namespace quarn::test
