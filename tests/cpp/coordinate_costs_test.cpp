#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/json_loader.h"
#include "localsearch/local_model.h"
#include "localsearch/neighbours.h"
#include "model/cost_rule.h"
#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

// The library's reference values: half rounds up; the pseudo-Euclidean distance
// is rounded up whenever rounding took it below the root.
TEST(CostRules, MetricsAndRefusals) {
  struct Case {
    const char* metric;
    double speed, dx, dy, cost;
  };
  const Case cases[] = {{"euclidean", 1.0, 3, 4, 5.0},  {"euclidean", 2.0, -3, 4, 2.5},
                        {"rounded", 1.0, 1, 1, 1.0},    {"rounded", 1.0, 2, 3, 4.0},
                        {"rounded", 2.0, 1.5, 2, 1.5},  {"att", 1.0, 10, 0, 4.0},
                        {"att", 1.0, 3, 1, 1.0},        {"att", 0.5, 0, 0, 0.0}};
  for (const Case& c : cases) {
    EXPECT_EQ(RuleCost(MakeCostRule("t", c.metric, c.speed), c.dx, c.dy), c.cost) << c.metric << " " << c.dx;
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const auto& [metric, speed] : std::vector<std::pair<std::string, double>>{
           {"manhattan", 1.0}, {"euclidean", 0.0}, {"euclidean", -1.0}, {"rounded", nan}, {"att", inf}}) {
    Problem problem;
    try {
      problem.set_cost_metric("truck", metric, speed);
      ADD_FAILURE() << metric << " at " << speed << " was taken";
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find("'truck'"), std::string::npos) << error.what();
    }
    EXPECT_TRUE(problem.cost_rules().empty());
  }
}

// Plane layouts whose neighbour lists are easy to get wrong on a grid: ties in
// rounded costs, points on one spot, a line without height, arcs beyond the
// missing cost, a type without a rule.
std::vector<std::pair<int, int>> Layout(const std::string& kind, int n) {
  Lcg random{7};
  std::vector<std::pair<int, int>> points;
  for (int i = 0; i < n; ++i) {
    if (kind == "uniform") points.emplace_back(random(100), random(100));
    if (kind == "clustered") points.emplace_back(random(4) * 40 + random(3), random(3) * 40 + random(3));
    if (kind == "line") points.emplace_back(random(60), 5);
  }
  return points;
}

Problem RuleProblem(const std::vector<std::pair<int, int>>& coords, int agents, const std::string& metric) {
  std::vector<AgentSpec> fleet;
  for (int a = 0; a < agents; ++a) fleet.push_back({static_cast<uint64_t>(a), a % 2 ? "b" : "a", 0, 0});
  Problem problem = GridProblem(coords, fleet);
  problem.set_cost_metric("a", metric, 1.0);
  if (agents > 1) problem.set_cost_metric("b", metric, 2.0);
  return problem;
}

// The same problem with the matrices its rules imply.
Problem WithMatrices(Problem problem) {
  const auto rules = problem.cost_rules();
  for (const auto& [type, rule] : rules) {
    CostMatrix matrix;
    for (const Node& a : problem.nodes()) {
      matrix.emplace_back();
      for (const Node& b : problem.nodes()) {
        matrix.back().push_back(RuleCost(rule, a.position.x - b.position.x, a.position.y - b.position.y));
      }
    }
    problem.set_cost_matrix(type, matrix);
  }
  return problem;
}

// Two agents of types 0 and 1 at the first and the last node; `x` and `y` get the positions.
RouteRules RulesOf(const std::vector<std::pair<int, int>>& coords, double missing, std::vector<double>& x,
                   std::vector<double>& y) {
  const auto n = static_cast<int32_t>(coords.size());
  std::vector<Point> points(coords.size());
  for (Point& p : points) p.types = {0, 1};
  for (const auto& [px, py] : coords) {
    x.push_back(px);
    y.push_back(py);
  }
  RouteRules rules;
  rules.SetPoints(points);
  rules.SetAgents(AgentsOfTypes({0, 1}));
  rules.SetStarts({0, n - 1});
  rules.SetEnds({0, n - 1});
  rules.SetMissingCost(missing);
  return rules;
}

// Lists searched on the grid equal those of comparing every pair, entry for entry;
// ranked by time under windows too (`given` -1 below), where the gap in time
// comes on top of the travel the rings are bounded by.
TEST(CostRules, GridNeighboursEqualThoseOfEveryPair) {
  for (const std::string kind : {"uniform", "clustered", "line"}) {
    for (const std::string metric : {"euclidean", "rounded", "att"}) {
      for (const double given : {kMissingCost, 25.0, -1.0}) {
        if (given != kMissingCost && metric != "rounded") continue;
        const bool timed = given < 0.0;
        const double missing = timed ? kMissingCost : given;
        const auto coords = Layout(kind, 280);
        const CostRule rule = MakeCostRule("a", metric, 1.0);
        std::vector<double> x;
        std::vector<double> y;
        RouteRules by_table = RulesOf(coords, missing, x, y);
        RouteRules by_position = by_table;
        const CoordinateCosts positions(x, y, {rule, std::nullopt}, missing);
        DenseCostTable table(static_cast<int32_t>(coords.size()), 2, missing);
        for (int32_t u = 0; u < table.size(); ++u) {
          for (int32_t v = 0; v < table.size(); ++v) {
            if (u != v) table.Set(u, v, 0, positions.Cost(u, v, 0));
          }
        }
        by_table.SetCostTable(&table);
        by_position.SetCoordinateCosts(&positions);
        TimeWindowMap windows;
        for (int32_t v = 1; timed && v < table.size(); ++v) {
          const double open = static_cast<double>((v * 37) % 800);
          windows[v] = {open, open + 20.0 + static_cast<double>((v * 13) % 90)};
        }
        const LocalModel table_model(by_table, windows);
        const LocalModel position_model(by_position, windows);
        ASSERT_NE(position_model.coordinates(), nullptr);
        const Neighbours expected(table_model, 20, nullptr, timed);
        const Neighbours got(position_model, 20, nullptr, timed);
        for (int32_t v : table_model.customers()) {
          for (int32_t type : {0, 1}) {
            ASSERT_EQ(got.Near(type, v), expected.Near(type, v)) << kind << " " << metric << " " << given;
          }
          ASSERT_EQ(got.Adjacent(v), expected.Adjacent(v)) << kind << " " << metric << " " << given;
        }
      }
    }
  }
}

// A rule gives what the matrix it implies gives: on the exact search, on the
// phase after it, and beyond the search's reach, where no table is built.
TEST(CostRules, SolveAsTheImpliedMatrix) {
  struct Case {
    const char* name;
    int nodes;
    bool improve;
    const char* metric;
    ObjectiveType objective;
  };
  const Case cases[] = {{"search", 9, false, "rounded", ObjectiveType::MinSum},
                        {"search", 9, false, "att", ObjectiveType::MinMax},
                        {"search and phase", 12, true, "att", ObjectiveType::MinSum},
                        {"search and phase", 12, true, "rounded", ObjectiveType::MinMax},
                        {"phase alone", 260, true, "rounded", ObjectiveType::MinMax},
                        {"phase alone", 260, true, "att", ObjectiveType::MinSum}};
  for (const Case& c : cases) {
    const Problem by_rule = RuleProblem(Layout("uniform", c.nodes), 3, c.metric);
    const Problem by_matrix = WithMatrices(by_rule);
    Options options = MakeOptions(c.objective, true, 1e6);
    options.improve = c.improve;
    options.max_iterations = 5;
    options.max_expansions = 20000;
    options.quiet = true;
    Solver rule_solver(by_rule, options);
    Solver matrix_solver(by_matrix, options);
    ASSERT_EQ(rule_solver.solve(), matrix_solver.solve()) << c.name;
    const Result got = rule_solver.get_result();
    const Result expected = matrix_solver.get_result();
    EXPECT_EQ(got.paths, expected.paths) << c.name << " " << c.metric;
    EXPECT_EQ(got.times, expected.times) << c.name << " " << c.metric;
    EXPECT_EQ(Violations(by_rule, options, got), "") << c.name << " " << c.metric;
  }
}

// The document's rule object reaches the problem; one for a type no agent has
// is refused as such a matrix is, and so is a position a rule cannot read.
TEST(CostRules, ReadFromTheDocument) {
  const auto doc = nlohmann::json::parse(R"({
    "nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 3, "y": 4}],
    "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0}],
    "costs": {"a": {"metric": "att", "speed": 2}, "b": {"metric": "rounded"}}})");
  Problem problem;
  load_problem_from_json(doc, problem);
  ASSERT_EQ(problem.cost_rules().size(), 2u);
  EXPECT_EQ(problem.cost_rules().at("a").metric, Metric::kAtt);
  EXPECT_EQ(problem.cost_rules().at("a").speed, 2.0);
  EXPECT_EQ(problem.cost_rules().at("b").speed, 1.0);
  EXPECT_THROW(Solver(problem, Options{}), std::out_of_range);
  Problem unplaced = RuleProblem({{0, 0}, {1, 1}}, 1, "euclidean");
  Node lost;
  lost.id = 2;
  lost.position.x = std::numeric_limits<double>::quiet_NaN();
  unplaced.add_node(lost);
  Options quiet;
  quiet.quiet = true;
  EXPECT_THROW(Solver(unplaced, quiet), std::invalid_argument);
}

// With the phase the limit counts from the clock's origin, set-up and reading
// included; the default road counts from the start of solve alone.
TEST(CostRules, OnlyThePhaseRoadCountsFromTheOrigin) {
  const Problem problem = RuleProblem(Layout("uniform", 8), 2, "rounded");
  for (bool improve : {false, true}) {
    Options options = MakeOptions(ObjectiveType::MinSum, true, 60.0);
    options.improve = improve;
    options.quiet = true;
    Solver solver(problem, options);
    solver.SetClockOrigin(std::chrono::steady_clock::now() - std::chrono::hours(1));
    EXPECT_EQ(solver.solve(), improve ? 0 : 1);
    EXPECT_EQ(solver.get_result().timeout, improve);
  }
}

}  // namespace
}  // namespace quarn::test
