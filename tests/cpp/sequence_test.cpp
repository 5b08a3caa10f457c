#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "localsearch/rng.h"
#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

struct Pairs {
  std::vector<NodePair> plain, same, diff;
};
using L = std::vector<NodePair>;
Pairs P(L plain, L same = {}, L diff = {}) { return Pairs{std::move(plain), std::move(same), std::move(diff)}; }

Problem WithPairs(Problem problem, const Pairs& pairs) {
  problem.precedence_pairs = pairs.plain;
  problem.same_pairs = pairs.same;
  problem.diff_pairs = pairs.diff;
  return problem;
}

// Depot 0 and targets 1..4 on a line, two agents at home on the depot.
Problem OnALine(const Pairs& pairs) {
  return WithPairs(GridProblem({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}, {{0}, {1}}), pairs);
}

Options Enforced(bool improve = true) {
  Options options = MakeOptions(ObjectiveType::MinSum, true);
  options.enforce_sequence = true;
  options.improve = improve;
  options.max_iterations = 300;
  return options;
}

// Pairs no plan can keep, or that name no target, are refused before any search.
TEST(SequencePairs, RefusedAtOnceNamingTheNodes) {
  struct Case {
    Pairs pairs;
    bool improve;
    const char* message;
  };
  const Case cases[] = {
      {P({{1, 9}}), true, "names node 9, which is no node id"},
      {P({{0, 1}}), true, "names node 0, a depot"},
      {P({{1, 2}, {2, 3}, {3, 1}}), true, "cycle: 1 -> 2 -> 3 -> 1"},
      {P({{1, 2}}, {{2, 1}}), true, "cycle: 1 -> 2 -> 1"},
      {P({}, {{1, 2}, {3, 2}}, {{1, 3}}), true, "nodes 1 and 3 to be served by different agents and by the same"},
      {P({{2, 1}}), false, "the option \"enforce_sequence\" is honoured by the improvement phase: set "
                          "\"improve\": true"},
  };
  for (const Case& c : cases) {
    try {
      Solver solver(OnALine(c.pairs), Enforced(c.improve));
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
  // Off, the pairs are stored and never read.
  Options off = Enforced(false);
  off.enforce_sequence = false;
  EXPECT_NO_THROW(Solver(OnALine(P({{1, 2}, {2, 1}})), off));
}

// The checker and the solver's own rules name each pair a plan breaks. Agent 0
// drives 0 1 2 0 (4), agent 1 drives 0 3 4 0 (8); a plain pair 4 before 1 makes
// agent 0 wait at 1 until 4, so its route takes 7.
TEST(SequencePairs, CheckerRejectsEachKindOfBreak) {
  struct Case {
    Pairs pairs;
    double first_cost;  // reported
    double first_timed;  // the rules' finishing time
    const char* error;  // "" for a valid plan
  };
  const Case cases[] = {
      {P({{2, 1}}), 4, 4, "pair 2 before 1 broken"},
      {P({}, {{1, 3}}), 4, 4, "pair 1 before 3 (same agent) broken"},
      {P({}, {{2, 1}}), 4, 4, "pair 2 before 1 (same agent) broken"},
      {P({}, {}, {{1, 2}}), 4, 4, "pair 1 before 2 (different agents) broken"},
      {P({{4, 1}}), 4, 7, "agent 0: cost: reported 4"},
      {P({{4, 1}, {1, 2}}, {{3, 4}}, {{1, 4}}), 7, 7, ""},
  };
  Result result;
  result.paths = {{0, {0, 1, 2, 0}}, {1, {0, 3, 4, 0}}};
  for (const Case& c : cases) {
    result.times = {{0, c.first_cost}, {1, 8.0}};
    const std::string found = Violations(OnALine(c.pairs), Enforced(), result);
    if (*c.error == '\0') {
      EXPECT_EQ(found, "");
    } else {
      EXPECT_NE(found.find(c.error), std::string::npos) << found;
    }
    SolverProbe solver(OnALine(c.pairs), Enforced());
    const LinkedTiming timing = solver.rules_.ScheduleRoutes({&result.paths[0], &result.paths[1]});
    EXPECT_EQ(timing.finish, (std::vector<double>{c.first_timed, 8.0}));
    const int32_t broken = timing.first_broken;
    if (std::string(c.error).rfind("pair ", 0) != 0) {
      EXPECT_EQ(broken, -1);
    } else if (broken >= 0) {
      EXPECT_EQ("the " + std::string(c.error), solver.rules_.sequence().Describe(broken, {0, 1, 2, 3, 4}) + " broken");
    } else {
      ADD_FAILURE() << "the rules keep " << c.error;
    }
  }
}

// Tiny random instances with every kind of pair, service times and windows: the
// phase (the search never runs) answers with a valid plan as good as the
// exhaustive search's under both objectives.
TEST(SequencePairs, PhaseMatchesTheBruteForce) {
  for (uint64_t seed = 1; seed <= 8; ++seed) {
    Rng rng(seed);
    std::vector<std::pair<int, int>> coords{{5, 5}};
    for (int v = 1; v <= 5; ++v) coords.emplace_back(rng.Below(10), rng.Below(10));
    Problem problem = Served(GridProblem(coords, {{0}, {1}}), {0, 1, 2, 1, 2, 1});
    TimeWindowConstraint windows;
    windows.set_timewindow(5, 10, 40);
    problem.set_timewindow_constraint(windows);
    const uint64_t a = 1 + rng.Below(2);
    const uint64_t b = 3 + rng.Below(2);
    problem = WithPairs(problem, P({{a, b}, {b, 5}}, {{seed % 2 == 0 ? a : uint64_t{2}, seed % 2 == 0 ? 3 - a : 5}},
                                   {{b, 7 - b}}));
    for (ObjectiveType objective : {ObjectiveType::MinSum, ObjectiveType::MinMax}) {
      Options options = Enforced();
      options.objective = objective;
      options.seed = seed;
      SCOPED_TRACE("seed " + std::to_string(seed) + (objective == ObjectiveType::MinMax ? " min-max" : " min-sum"));
      const std::optional<double> best = OptimalValue(problem, options);
      Solver solver(problem, options);
      int32_t status = 0;
      Capture([&] { status = solver.solve(); });
      ASSERT_EQ(status, best ? 1 : 0);
      if (!best) continue;
      const Result& result = solver.get_result();
      EXPECT_EQ(result.n_expanded, 0);
      EXPECT_EQ(Violations(problem, options, result), "");
      EXPECT_EQ(objective == ObjectiveType::MinMax ? MaxOf(result) : SumOf(result), *best);
    }
  }
}

}  // namespace
}  // namespace quarn::test
