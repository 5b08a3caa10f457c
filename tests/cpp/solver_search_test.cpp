#include <gtest/gtest.h>

#include <algorithm>

#include <memory>
#include <optional>
#include <ostream>
#include <tuple>

#include <nlohmann/json.hpp>

#include "io/json_loader.h"
#include "plugins/composite_post_optimizer.h"
#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

struct Instance { const char* label; Problem problem; Options options; };

// An instance document's problem and options.
Instance FromDocument(const char* label, const char* text) {
  Instance instance{label, Problem(), Options()};
  load_problem_from_json(nlohmann::json::parse(text), instance.problem);
  instance.options = instance.problem.options();
  return instance;
}

void PrintTo(const Instance& instance, std::ostream* out) { *out << instance.label; }

std::vector<std::pair<int, int>> Cross() {
  return {{0, 0}, {2, 0}, {-2, 0}, {0, 2}, {0, -2}, {3, 1}, {-1, 3}};
}

// Small instances whose search ends on its own.
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
  Problem windowed = GridProblem(Cross(), two_home);
  TimeWindowConstraint windows;
  windows.set_timewindow(1, 0.0, 3.0);
  windows.set_timewindow(2, 6.0, 20.0);
  windows.set_timewindow(5, 0.0, 12.0);
  windowed.set_timewindow_constraint(windows);
  all.push_back({"time_windows", windowed, MakeOptions(ObjectiveType::MinMax, true)});
  all.push_back({"time_limits", GridProblem(Cross(), {{0, "a", 0, 0, 12.0}, {1, "a", 0, 0, 12.0}}),
                 MakeOptions(ObjectiveType::MinSum, true)});
  // Agent 1's limit is below either tour: moving a target to it would shorten the longest route.
  all.push_back({"a_limit_keeps_an_agent_idle",
                 GridProblem({{0, 0}, {3, 0}, {-3, 0}}, {{0, "a", 0, 0}, {1, "a", 0, 0, 5.0}}),
                 MakeOptions(ObjectiveType::MinMax, true)});
  for (bool return_to_end : {true, false}) {
    all.push_back({return_to_end ? "depot_a_to_b_closed" : "depot_a_to_b_open",
                   GridProblem({{0, 0}, {4, 0}, {1, 1}, {2, -1}, {3, 1}}, {{0, "a", 0, 1}}),
                   MakeOptions(ObjectiveType::MinMax, return_to_end)});
  }
  all.push_back({"three_agents_own_depots",
                 GridProblem({{0, 0}, {5, 0}, {0, 5}, {1, 1}, {4, 1}, {1, 4}, {2, 2}, {4, 3}},
                             {{0, "a", 0, 0}, {1, "a", 1, 1}, {2, "a", 2, 2}}),
                 MakeOptions(ObjectiveType::MinSum, true)});
  // Idle agents at a shared home still close their routes there: each closing move
  // changes only the finish flags and must not be pruned as dominated by its parent.
  all.push_back({"idle_agents_share_a_home",
                 GridProblem({{0, 0}, {3, 0}, {3, 4}},
                             {{0, "a", 1, 0}, {1, "a", 0, 0}, {2, "a", 0, 0}, {3, "a", 0, 0}}),
                 MakeOptions(ObjectiveType::MinMax, true)});
  // With open routes a home stays open even where another agent's route ends, or
  // its idle agent could not stop there; an agent's end closed at once leaves it
  // only its start to stop at.
  all.push_back({"open_route_ends_at_anothers_home",
                 GridProblem({{0, 0}, {10, 0}, {0, 1}, {1, 1}}, {{0, "a", 0, 1}, {1, "a", 1, 1}}),
                 MakeOptions(ObjectiveType::MinSum, false)});
  Problem end_closed = GridProblem({{0, 0}, {4, 0}, {1, 1}, {2, -1}, {3, 1}}, {{0, "a", 0, 1}});
  TimeWindowConstraint closed;
  closed.set_timewindow(1, 0.0, 0.0);
  end_closed.set_timewindow_constraint(closed);
  all.push_back({"open_route_whose_end_closes_at_once", end_closed,
                 MakeOptions(ObjectiveType::MinMax, false)});
  // Open routes end at the home depot for free: a bound that paid an edge back
  // there ended these searches at 18 and 15.
  all.push_back({"open_route_home_is_free_min_max",
                 MatrixProblem({{0, 0, 8, 14}, {0, 0, 14, 3}, {3, 2, 0, 11}, {10, 1, 15, 0}}, 1),
                 MakeOptions(ObjectiveType::MinMax, false)});
  all.push_back({"open_route_home_is_free_min_sum",
                 MatrixProblem({{0, 9, 5, 1}, {9, 0, 6, 8}, {5, 15203, 0, 6}, {1, 8, 6, 0}}, 2),
                 MakeOptions(ObjectiveType::MinSum, false)});
  // Capacities enforced: the depot's demand counts nothing, the loads split the
  // targets otherwise than the costs would, and an agent with 0 has no limit.
  for (ObjectiveType objective : {ObjectiveType::MinMax, ObjectiveType::MinSum}) {
    Options options = MakeOptions(objective, objective == ObjectiveType::MinMax);
    options.enforce_capacities = true;
    const double other = objective == ObjectiveType::MinMax ? 6.0 : 0.0;
    all.push_back({objective == ObjectiveType::MinMax ? "capacities_min_max" : "capacity_and_no_limit_open",
                   GridProblem(Cross(), {{0, "a", 0, 0, 0.0, -1, 6.0}, {1, "a", 0, 0, 0.0, -1, other}}, {},
                               {50, 3, 3, 2, 2, 1, 1}),
                   options});
  }
  // Found by the brute-force program: a label that served more at no more cost
  // pruned the lighter one; and the window checker's detour rule once put the
  // heavy target 2 on agent 0's way to 1, which agent 0 cannot carry with 3.
  all.push_back(FromDocument("capacities_lighter_label_survives", R"({
    "nodes": [{"id": 0, "x": 0, "y": 0}, {"id": 1, "x": 0, "y": 0, "demand": 3},
              {"id": 2, "x": 0, "y": 0, "demand": 3}, {"id": 3, "x": 0, "y": 0, "demand": 2}],
    "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0, "capacity": 8}],
    "costs": {"a": [[0, 5, 14, 2], [9, 0, 15, 10], [9, 9, 0, 1], [1, 1, 10, 0]]},
    "options": {"time_limit": 30, "enforce_capacities": true, "quiet": true}})"));
  all.push_back(FromDocument("capacities_no_heavy_detour", R"({
    "nodes": [{"id": 0, "x": 0, "y": 0}, {"id": 1, "x": 0, "y": 0},
              {"id": 2, "x": 0, "y": 0, "demand": 4}, {"id": 3, "x": 0, "y": 0, "demand": 3}],
    "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0, "capacity": 5},
               {"id": 1, "type": "b", "start_node": 0, "end_node": 0, "capacity": 8}],
    "costs": {"a": [[0, 8, 3, 12], [8, 0, 5, 4], [3, 5, 0, 9], [12, 4, 9, 0]],
              "b": [[0, 8, 11, 5], [14, 0, 14, 1], [1, 15, 0, 5], [3, 9, 5, 0]]},
    "constraints": [{"kind": "assignment", "items": [{"node": 0, "types": ["a", "b"]}, {"node": 1, "types": ["a"]},
                                                     {"node": 2, "types": ["a", "b"]}, {"node": 3, "types": ["a"]}]},
                    {"kind": "timewindow", "items": [{"node": 3, "start": 15, "end": 33}]}],
    "options": {"objective": "min_max", "return_to_end": false, "time_limit": 30, "enforce_capacities": true,
                "quiet": true}})"));
  all.push_back({"agent_filed_under_another_id",
                 GridProblem({{0, 0}, {1, 0}, {2, 0}}, {{3, "a", 0, 0, 0.0, 7}}),
                 MakeOptions(ObjectiveType::MinMax, true)});
  return all;
}

class SolverEndToEnd : public ::testing::TestWithParam<Instance> {};

// The search ends with the best value any solution has (brute force over every
// order of the targets); every solution recorded on the way is feasible, two per
// solution found (extracted, then post-optimised), none worse than the one before
// it in the installed objective; another solver, and a second solve on the same
// solver, repeat the search exactly.
TEST_P(SolverEndToEnd, EndsAtTheOptimumThroughFeasibleSolutionsAndRepeats) {
  const Instance& instance = GetParam();
  const bool min_sum = instance.options.objective == ObjectiveType::MinSum;
  auto value = [min_sum](const Result& result) { return min_sum ? SumOf(result) : MaxOf(result); };
  Solver solver(instance.problem, instance.options);
  ASSERT_EQ(solver.solve(), 1);
  const Result first = solver.get_result();
  EXPECT_FALSE(first.timeout) << "the search should end on its own";
  EXPECT_EQ(Violations(instance.problem, instance.options, first), "");
  EXPECT_EQ(value(first), OptimalValue(instance.problem, instance.options));
  const std::vector<AnytimeEntry> anytime = solver.get_result_process();
  ASSERT_GE(anytime.size(), 2u);
  EXPECT_EQ(anytime.size() % 2, 0u);
  for (size_t k = 0; k < anytime.size(); ++k) {
    EXPECT_EQ(Violations(instance.problem, instance.options, anytime[k].second), "") << k;
    EXPECT_LE(anytime[k == 0 ? 0 : k - 1].first, anytime[k].first);
    // A post-optimised entry (odd k) against the extracted one before it.
    EXPECT_LE(value(anytime[k].second), value(anytime[k - k % 2].second) + 1e-9);
  }
  EXPECT_LE(value(first), value(anytime[1].second) + 1e-9);
  EXPECT_EQ(first.last_update_time, anytime.back().first);
  EXPECT_EQ(std::tie(first.paths, first.times), std::tie(anytime.back().second.paths, anytime.back().second.times));
  const InstanceStats stats = solver.GetBounds();
  EXPECT_EQ(std::make_tuple(stats.solution_found, stats.max_cost, stats.cost_sum),
            std::make_tuple(1, MaxOf(first), SumOf(first)));

  Solver other(instance.problem, instance.options);
  ASSERT_EQ(other.solve(), 1);
  ASSERT_EQ(solver.solve(), 1);
  for (Solver* again : {&other, &solver}) {
    const Result result = again->get_result();
    EXPECT_EQ(std::tie(result.paths, result.times, result.n_generated, result.n_expanded),
              std::tie(first.paths, first.times, first.n_generated, first.n_expanded));
    EXPECT_EQ(again->get_result_process().size(), anytime.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Small, SolverEndToEnd, ::testing::ValuesIn(Instances()),
                         [](const auto& info) { return std::string(info.param.label); });

// Makes every route longer: a post-optimizer that would leave the solution worse.
class DetourOptimizer : public CompositePostOptimizer {
 public:
  void Optimize(const PlannerGraph*, const std::vector<Point>&, const std::vector<AgentEntry>&,
                Result& result) override {
    for (auto& entry : result.times) entry.second += 100.0;
    for (auto& entry : result.paths) entry.second.clear();
  }
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
      EXPECT_EQ(std::tie(anytime[k + 1].second.paths, anytime[k + 1].second.times),
                std::tie(anytime[k].second.paths, anytime[k].second.times));
    }
    EXPECT_EQ(Violations(problem, options, solver.get_result()), "");
  }
}

// Zero-cost arcs, or negative costs, give many labels of one f: the focal list
// keeps one of each indistinguishable group, so passes end after a few labels
// and more than a hundred pass before the first solution. The search must go
// on to the optimum rather than end "searched out" with labels left.
TEST(SolverSearch, SolvableInstancesThatThePruningHidesStillEndSolved) {
  const CostMatrix zero = {{0, 1, 1, 1, 1, 0, 1}, {1, 0, 1, 1, 2, 1, 1}, {1, 1, 0, 1, 1, 1, 0},
                           {1, 1, 1, 0, 1, 1, 1}, {1, 0, 0, 1, 0, 1, 1}, {1, 1, 1, 1, 1, 0, 1},
                           {0, 1, 1, 0, 1, 0, 0}};
  const CostMatrix negative = {
      {0, -6, -4, -3, -4, -6, -3, -1, -6}, {-5, 0, -6, -1, -6, -2, -1, -4, -2},
      {-5, -3, 0, -2, -5, -4, -5, -1, -1}, {-5, -4, -4, 0, -5, -4, -5, -1, -2},
      {-3, -3, -4, -2, 0, -3, -2, -1, -2}, {-5, -2, -1, -3, -3, 0, -5, -4, -1},
      {-2, -3, -4, -3, -1, -2, 0, -2, -2}, {-5, -3, -5, -4, -6, -3, -3, 0, -4},
      {-4, -2, -5, -4, -1, -2, -1, -1, 0}};
  // 2->0, 3->0 and 0->3 are missing: the one tour is 0 2 3 1 0, and the label
  // reaching 3 over 1 at the same cost dominates it yet cannot get home.
  const CostMatrix missing = {{0, 7, 1, 10270}, {7, 0, 6, 2}, {9999, 6, 0, 8}, {9999, 2, 8, 0}};
  struct Case {
    Problem problem;
    ObjectiveType objective;
    double optimum;  // by exhaustive search
  };
  const std::vector<Case> cases = {{MatrixProblem(zero, 3), ObjectiveType::MinSum, 3.0},
                                   {MatrixProblem(zero, 3), ObjectiveType::MinMax, 2.0},
                                   {MatrixProblem(negative, 1), ObjectiveType::MinSum, -41.0},
                                   {MatrixProblem(missing, 3), ObjectiveType::MinMax, 18.0}};
  for (const Case& c : cases) {
    const Options options = MakeOptions(c.objective, true);
    SolverProbe solver(c.problem, options);
    solver.SetExpansionBudget(100000);
    int32_t status = 0;
    Capture([&] { status = solver.solve(); });
    ASSERT_EQ(status, 1) << c.optimum;
    const Result result = solver.get_result();
    EXPECT_FALSE(result.timeout) << c.optimum;
    EXPECT_EQ(Violations(c.problem, options, result), "");
    const bool min_sum = c.objective == ObjectiveType::MinSum;
    EXPECT_EQ(min_sum ? SumOf(result) : MaxOf(result), c.optimum);
  }
}

// Four nodes on a line, one agent at home on node 0 with the limit `limit` (and
// `capacity`); `window_node` (if any) open from `open` to `close`.
Problem OnALine(const std::vector<double>& service, double limit, int window_node, double open, double close,
                double capacity = 0.0, const std::vector<double>& demands = {}) {
  Problem served = Served(GridProblem({{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {{0, "a", 0, 0, limit, -1, capacity}}, {},
                                      demands), service);
  TimeWindowConstraint windows;
  if (window_node >= 0) windows.set_timewindow(static_cast<uint64_t>(window_node), open, close);
  served.set_timewindow_constraint(windows);
  return served;
}

// One agent at home on node 0 of four nodes on a line (a tour travels 6; the
// depot's service, 7, counts nothing): it leaves its start when the start's
// window opens (from 10 the tour ends at 16), and a start window that closes
// before the tour can be back, or before time 0, leaves no solution; it waits for
// a window, then serves; a window bounds only the start of service; the limit
// counts service; an open route ends with its last service. The search and the
// phase (the search cut after one expansion) agree with the brute force.
TEST(SolverSearch, ServiceJoinsTheClockOnEveryRoad) {
  struct Case { std::vector<double> service; int window_node; double open, close, limit; bool closed; std::optional<double> cost; };
  const Case cases[] = {{{0, 0, 0, 0}, 0, 10, 100, 0, true, 16.0}, {{0, 0, 0, 0}, 0, 10, 12, 0, true, std::nullopt},
                        {{0, 0, 0, 0}, 0, -5, -1, 0, true, std::nullopt},
                        {{7, 2, 0, 0}, 1, 5, 10, 0, true, 8.0},  {{0, 0, 0, 4}, 3, 0, 3, 0, true, 10.0},
                        {{0, 1, 1, 1}, -1, 0, 0, 9, true, 9.0},  {{0, 1, 1, 1}, -1, 0, 0, 8, true, std::nullopt},
                        {{7, 0, 0, 5}, -1, 0, 0, 0, false, 8.0}};
  for (const Case& c : cases) {
    const Problem served = OnALine(c.service, c.limit, c.window_node, c.open, c.close);
    EXPECT_EQ(OptimalValue(served, MakeOptions(ObjectiveType::MinSum, c.closed)), c.cost);
    for (bool improve : {false, true}) {
      Options options = MakeOptions(ObjectiveType::MinSum, c.closed);
      options.improve = improve;
      options.max_iterations = 200;
      Solver solver(served, options);
      if (improve) solver.SetExpansionBudget(1);
      int32_t status = 0;
      Capture([&] { status = solver.solve(); });
      ASSERT_EQ(status, c.cost ? 1 : 0) << "improve " << improve;
      if (!c.cost) continue;
      EXPECT_EQ(SumOf(solver.get_result()), *c.cost) << "improve " << improve;
      EXPECT_EQ(Violations(served, options, solver.get_result()), "");
    }
  }
}

// The checker names the rule a route breaks. Service 1 on every target, demands
// 9 (the depot's, counting nothing), 2 and 3, and distances twice the costs: the
// tour 0 1 2 3 0 takes 9, covers 12 and carries 5. Capacities count only when
// enforced, and 0 is no limit.
TEST(SolutionChecker, NamesEachBrokenRule) {
  struct Case { std::vector<int32_t> path; double reported; bool window; double limit; bool by_distance;
                double capacity; bool enforce; const char* rule; };
  const Case cases[] = {{{0, 1, 2, 3, 0}, 6, false, 0, false, 0, false, "cost: reported 6"},  // service left out
                        {{0, 2, 1, 3, 0}, 11, true, 0, false, 0, false, "window:"},          // starts at 7 > 4
                        {{0, 1, 2, 3, 0}, 9, false, 8, false, 0, false, "max_length:"},
                        {{0, 1, 2, 3, 0}, 9, false, 0, true, 0, false, "cost: reported 9"},    // a duration, no distance
                        {{0, 1, 2, 3, 0}, 12, false, 0, true, 0, false, ""},
                        {{0, 1, 2, 3, 0}, 9, false, 0, false, 4, true, "capacity exceeded"},
                        {{0, 1, 2, 3, 0}, 9, false, 0, false, 5, true, ""},
                        {{0, 1, 2, 3, 0}, 9, false, 0, false, 4, false, ""},
                        {{0, 1, 2, 3, 0}, 9, false, 0, false, 0, true, ""}};
  for (const Case& c : cases) {
    Problem served = OnALine({1, 1, 1, 1}, c.limit, c.window ? 3 : -1, 0, 4, c.capacity, {9, 2, 3});
    CostMatrix matrix = served.cost_matrices().at("a");
    for (auto& row : matrix) std::transform(row.begin(), row.end(), row.begin(), [](double d) { return 2 * d; });
    served.set_distance_matrix("a", matrix);
    Options options = MakeOptions(ObjectiveType::MinSum, true);
    if (c.by_distance) options.minimise = Minimise::Distance;
    options.enforce_capacities = c.enforce;
    Result result;
    result.paths[0] = c.path;
    result.times[0] = c.reported;
    result.durations[0] = 9;
    result.distances[0] = 12;
    const std::string found = Violations(served, options, result);
    EXPECT_TRUE(*c.rule != 0 ? found.find(c.rule) != std::string::npos : found.empty()) << c.rule << ": " << found;
  }
}

}  // namespace
}  // namespace quarn::test
