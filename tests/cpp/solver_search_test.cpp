#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

std::string Describe(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& error : errors) text += error + "\n";
  return text;
}

// Solves and checks every solution the search recorded, and the final one.
void ExpectSolvedFeasibly(const Problem& problem, const Options& options, SolverProbe& solver) {
  ASSERT_EQ(solver.solve(), 1);
  const Result result = solver.get_result();
  EXPECT_FALSE(result.timeout) << "the search should end on its own";
  EXPECT_EQ(Describe(CheckSolution(problem, options, result)), "");
  for (const AnytimeEntry& entry : solver.get_result_process()) {
    EXPECT_EQ(Describe(CheckSolution(problem, options, entry.second)), "")
        << "anytime entry at " << entry.first;
  }
}

// ---------------------------------------------------------------------------
// End to end on small instances whose search ends on its own.

struct Instance {
  const char* label;
  Problem problem;
  Options options;
};

std::vector<std::pair<int, int>> Cross() {
  return {{0, 0}, {2, 0}, {-2, 0}, {0, 2}, {0, -2}, {3, 1}, {-1, 3}};
}

std::vector<Instance> Instances() {
  std::vector<Instance> all;
  const std::vector<AgentSpec> two_home = {{0, "a", 0, 0}, {1, "a", 0, 0}};
  for (ObjectiveType objective : {ObjectiveType::MinMax, ObjectiveType::MinSum}) {
    const bool min_max = objective == ObjectiveType::MinMax;
    all.push_back({min_max ? "single_depot_min_max" : "single_depot_min_sum",
                   GridProblem(Cross(), two_home), MakeOptions(objective, true)});
    all.push_back({min_max ? "open_routes_min_max" : "open_routes_min_sum",
                   GridProblem(Cross(), two_home), MakeOptions(objective, false)});
  }
  // Two depots, two types; nodes 3 and 5 only for type "a", node 4 only for "b".
  all.push_back({"two_types_assignments",
                 GridProblem({{0, 0}, {4, 0}, {1, 1}, {2, 2}, {3, 1}, {1, -1}, {3, -1}},
                             {{0, "a", 0, 0}, {1, "b", 1, 1}},
                             {{3, {"a"}}, {5, {"a"}}, {4, {"b"}}}),
                 MakeOptions(ObjectiveType::MinMax, true)});
  {
    Problem problem = GridProblem(Cross(), two_home);
    TimeWindowConstraint windows;
    windows.set_timewindow(1, 0.0, 3.0);
    windows.set_timewindow(2, 6.0, 20.0);
    windows.set_timewindow(5, 0.0, 12.0);
    problem.set_timewindow_constraint(windows);
    all.push_back({"time_windows", problem, MakeOptions(ObjectiveType::MinMax, true)});
  }
  all.push_back({"time_limits",
                 GridProblem(Cross(), {{0, "a", 0, 0, 12.0}, {1, "a", 0, 0, 12.0}}),
                 MakeOptions(ObjectiveType::MinSum, true)});
  all.push_back({"depot_a_to_b_closed",
                 GridProblem({{0, 0}, {4, 0}, {1, 1}, {2, -1}, {3, 1}}, {{0, "a", 0, 1}}),
                 MakeOptions(ObjectiveType::MinMax, true)});
  all.push_back({"depot_a_to_b_open",
                 GridProblem({{0, 0}, {4, 0}, {1, 1}, {2, -1}, {3, 1}}, {{0, "a", 0, 1}}),
                 MakeOptions(ObjectiveType::MinMax, false)});
  all.push_back({"three_agents_own_depots",
                 GridProblem({{0, 0}, {5, 0}, {0, 5}, {1, 1}, {4, 1}, {1, 4}, {2, 2}},
                             {{0, "a", 0, 0}, {1, "a", 1, 1}, {2, "a", 2, 2}}),
                 MakeOptions(ObjectiveType::MinSum, true)});
  return all;
}

class SolverEndToEnd : public ::testing::TestWithParam<Instance> {};

TEST_P(SolverEndToEnd, EverySolutionIsFeasible) {
  const Instance& instance = GetParam();
  SolverProbe solver(instance.problem, instance.options);
  ExpectSolvedFeasibly(instance.problem, instance.options, solver);
}

TEST_P(SolverEndToEnd, SameInstanceTwiceGivesIdenticalRoutesAndCounters) {
  const Instance& instance = GetParam();
  SolverProbe first(instance.problem, instance.options);
  SolverProbe second(instance.problem, instance.options);
  ASSERT_EQ(first.solve(), 1);
  ASSERT_EQ(second.solve(), 1);
  const Result a = first.get_result();
  const Result b = second.get_result();
  EXPECT_EQ(a.paths, b.paths);
  EXPECT_EQ(a.times, b.times);
  EXPECT_EQ(a.n_generated, b.n_generated);
  EXPECT_EQ(a.n_expanded, b.n_expanded);
  EXPECT_EQ(first.get_result_process().size(), second.get_result_process().size());

  // A second solve on the same solver is a fresh search with the same outcome.
  ASSERT_EQ(first.solve(), 1);
  const Result again = first.get_result();
  EXPECT_EQ(again.paths, a.paths);
  EXPECT_EQ(again.times, a.times);
  EXPECT_EQ(again.n_generated, a.n_generated);
  EXPECT_EQ(again.n_expanded, a.n_expanded);
  EXPECT_EQ(first.get_result_process().size(), second.get_result_process().size());
}

INSTANTIATE_TEST_SUITE_P(Small, SolverEndToEnd, ::testing::ValuesIn(Instances()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(SolverSearch, OpenRouteStopsAtTheStartAtNoCost) {
  // Targets in a line: 0 -> 1 -> 2 costs 2, the way back is free.
  Problem problem = GridProblem({{0, 0}, {1, 0}, {2, 0}}, {{0, "a", 0, 0}});
  SolverProbe open(problem, MakeOptions(ObjectiveType::MinMax, false));
  ASSERT_EQ(open.solve(), 1);
  EXPECT_EQ(open.get_result().paths.at(0), (std::vector<int32_t>{0, 1, 2, 0}));
  EXPECT_EQ(open.get_result().times.at(0), 2.0);

  SolverProbe closed(problem, MakeOptions(ObjectiveType::MinMax, true));
  ASSERT_EQ(closed.solve(), 1);
  EXPECT_EQ(closed.get_result().times.at(0), 4.0);
}

TEST(SolverSearch, RootMarksDepotsThatNoFinishingMoveMustVisit) {
  // Agent 0 goes 0 -> 1, agent 1 lives at 2, agent 2 goes 3 -> 4.
  Problem problem = GridProblem({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}},
                                {{0, "a", 0, 1}, {1, "a", 2, 2}, {2, "a", 3, 4}});
  struct Case {
    bool return_to_end;
    std::vector<int32_t> marked;
  };
  for (const Case& c : {Case{true, {0, 3}}, Case{false, {0, 1, 3, 4}}}) {
    SolverProbe solver(problem, MakeOptions(ObjectiveType::MinMax, c.return_to_end));
    const Label root = solver.MakeRoot();
    std::vector<int32_t> marked;
    for (int32_t v = 0; v < 6; ++v) {
      if (root.visited.test(v)) marked.push_back(v);
    }
    EXPECT_EQ(marked, c.marked) << "return_to_end " << c.return_to_end;
  }
  // With open routes a home is left open even when another agent ends there.
  Problem shared = GridProblem({{0, 0}, {1, 0}, {2, 0}}, {{0, "a", 0, 1}, {1, "a", 1, 1}});
  SolverProbe solver(shared, MakeOptions(ObjectiveType::MinMax, false));
  const Label root = solver.MakeRoot();
  EXPECT_TRUE(root.visited.test(0));
  EXPECT_FALSE(root.visited.test(1));
}

TEST(SolverSearch, TooManyNodesRaisesAClearErrorFromSolve) {
  std::vector<std::pair<int, int>> coords;
  for (int i = 0; i < 257; ++i) coords.emplace_back(i, 0);
  Problem problem = GridProblem(coords, {{0, "a", 0, 0}});
  ::testing::internal::CaptureStdout();
  SolverProbe solver(problem, MakeOptions(ObjectiveType::MinMax, true));
  ::testing::internal::GetCapturedStdout();
  try {
    solver.solve();
    FAIL() << "no exception";
  } catch (const std::runtime_error& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("256"), std::string::npos) << message;
    EXPECT_NE(message.find("257"), std::string::npos) << message;
  }
}

// A root whose costs do not add up to zero is an internal inconsistency.
class SkewedSumSolver : public SolverProbe {
 public:
  using SolverProbe::SolverProbe;
  double SumCost(const Label& label) const override { return Solver::SumCost(label) + 1.0; }
};

TEST(SolverSearch, NonZeroRootCostIsReportedAndThrown) {
  SkewedSumSolver solver(GridProblem({{0, 0}, {1, 0}}, {{0, "a", 0, 0}}), Options{});
  ::testing::internal::CaptureStderr();
  try {
    solver.solve();
    FAIL() << "no exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Initial length is not 0 !");
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Initial length is not 0 !\n");
}

TEST(SolverSearch, TimerAlreadyPastTheLimitPopsNothing) {
  Problem problem = GridProblem(Cross(), {{0, "a", 0, 0}});
  SolverProbe solver(problem, MakeOptions(ObjectiveType::MinMax, true, -1.0));
  EXPECT_EQ(solver.solve(), 0);
  const Result result = solver.get_result();
  EXPECT_TRUE(result.timeout);
  EXPECT_EQ(result.n_expanded, 0);
  EXPECT_EQ(result.n_generated, 1);
  EXPECT_TRUE(result.paths.empty());
  EXPECT_EQ(solver.open_.size(), 1u);  // the root is still there
  EXPECT_TRUE(solver.get_result_process().empty());
}

TEST(SolverSearch, EverySolutionAddsTwoAnytimeEntries) {
  Problem problem = GridProblem(Cross(), {{0, "a", 0, 0}, {1, "a", 0, 0}});
  SolverProbe solver(problem, MakeOptions(ObjectiveType::MinMax, true));
  ASSERT_EQ(solver.solve(), 1);
  const std::vector<AnytimeEntry> anytime = solver.get_result_process();
  ASSERT_GE(anytime.size(), 2u);
  EXPECT_EQ(anytime.size() % 2, 0u);
  for (size_t k = 1; k < anytime.size(); ++k) EXPECT_LE(anytime[k - 1].first, anytime[k].first);
  const Result result = solver.get_result();
  EXPECT_EQ(result.last_update_time, anytime.back().first);
  EXPECT_EQ(result.paths, anytime.back().second.paths);
  EXPECT_EQ(result.times, anytime.back().second.times);
  EXPECT_EQ(solver.GetBounds().solution_found, 1);
  EXPECT_EQ(solver.GetBounds().max_cost, MaxOf(result));
}

TEST(SolverSearch, MinSumIncumbentIsTheSumAndNeverGetsWorse) {
  Problem problem = GridProblem({{0, 0}, {5, 0}, {0, 5}, {1, 1}, {4, 1}, {1, 4}, {2, 2}, {4, 3}},
                                {{0, "a", 0, 0}, {1, "a", 1, 1}, {2, "a", 2, 2}});
  Options options = MakeOptions(ObjectiveType::MinSum, true);
  SolverProbe solver(problem, options);
  ExpectSolvedFeasibly(problem, options, solver);
  const Result result = solver.get_result();
  EXPECT_EQ(solver.incumbent_, SumOf(result));
  EXPECT_EQ(solver.max_path_length_, MaxOf(result));
  const std::vector<AnytimeEntry> anytime = solver.get_result_process();
  for (size_t k = 0; k + 1 < anytime.size(); k += 2) {
    EXPECT_LE(SumOf(anytime[k + 1].second), SumOf(anytime[k].second) + 1e-9);
  }
  EXPECT_LE(SumOf(result), SumOf(anytime[1].second) + 1e-9);
}

// Makes every route longer: a post-optimizer that would leave the solution worse.
class DetourOptimizer : public PostOptimizerPlugin {
 public:
  std::string Name() const override { return "DetourOptimizer"; }
  void Optimize(const PlannerGraph*, const std::vector<Point>&, const std::vector<AgentEntry>&,
                Result& result) override {
    for (auto& entry : result.times) entry.second += 100.0;
    for (auto& entry : result.paths) entry.second.clear();
  }
  void SetReturnToEnd(bool) override {}
  void SetStarts(const std::vector<int32_t>&) override {}
  void SetEnds(const std::vector<int32_t>&) override {}
  void SetTimeWindows(const TimeWindowMap&) override {}
};

TEST(SolverSearch, AWorseningPostOptimisationIsUndone) {
  Problem problem = GridProblem(Cross(), {{0, "a", 0, 0}, {1, "a", 0, 0}});
  for (ObjectiveType objective : {ObjectiveType::MinSum, ObjectiveType::MinMax}) {
    Options options = MakeOptions(objective, true);
    SolverProbe solver(problem, options);
    solver.post_optimizer_ = std::make_unique<DetourOptimizer>();
    ASSERT_EQ(solver.solve(), 1);
    const std::vector<AnytimeEntry> anytime = solver.get_result_process();
    for (size_t k = 0; k + 1 < anytime.size(); k += 2) {
      EXPECT_EQ(anytime[k + 1].second.paths, anytime[k].second.paths);
      EXPECT_EQ(anytime[k + 1].second.times, anytime[k].second.times);
    }
    EXPECT_EQ(Describe(CheckSolution(problem, options, solver.get_result())), "");
  }
}

TEST(SolverWeights, IncumbentOverSmallestOpenFGivesTheNextWeight) {
  SolverProbe solver(GridProblem({{0, 0}, {1, 0}}, {{0, "a", 0, 0}}), Options{});
  solver.found_ = 1;
  solver.incumbent_ = 30.0;
  solver.open_.insert(OpenEntry{20.0, 0});
  solver.open_.insert(OpenEntry{25.0, 1});
  CaptureStdout();
  solver.AppendPassWeight();
  EXPECT_EQ(GetCapturedStdout(), "");
  ASSERT_EQ(solver.focal_weights_.size(), 2u);
  EXPECT_DOUBLE_EQ(solver.focal_weights_[1], 1.4);
  EXPECT_EQ(solver.GetBounds().bound_ratio, 1.5);
}

struct WeightOneCase {
  const char* label;
  int32_t found;
  double incumbent;
  double fmin;
};

class SolverWeightOne : public ::testing::TestWithParam<WeightOneCase> {};

TEST_P(SolverWeightOne, FallsBackToOneAndSaysSo) {
  const WeightOneCase& c = GetParam();
  SolverProbe solver(GridProblem({{0, 0}, {1, 0}}, {{0, "a", 0, 0}}), Options{});
  solver.found_ = c.found;
  solver.incumbent_ = c.incumbent;
  solver.open_.insert(OpenEntry{c.fmin, 0});
  CaptureStdout();
  solver.AppendPassWeight();
  EXPECT_EQ(GetCapturedStdout(), "w = 1\n");
  EXPECT_EQ(solver.focal_weights_.back(), 1.0);
  EXPECT_EQ(solver.GetBounds().bound_ratio, -1.0);
}

INSTANTIATE_TEST_SUITE_P(Table, SolverWeightOne,
                         ::testing::Values(WeightOneCase{"ratio_one", 1, 20.0, 20.0},
                                           WeightOneCase{"no_solution_yet", 0, -1.0, 20.0},
                                           WeightOneCase{"zero_fmin", 1, 5.0, 0.0}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace quarn::test
