// Solves many small random instances and prints everything a search decides
// (status, counters, routes, costs, every anytime entry) in a fixed text form.
// Two builds that print the same text made the same searches; see run_equivalence.sh.
//
//   zel_equivalence_dump [--count N] [--seed S] [--budget EXPANSIONS] [--improve ITERATIONS]
//                        [--documents 1]
//
// --documents 1 solves nothing: it prints each instance's header line and the
// instance as a JSON document on the next, for scripts that judge differences
// (explain_rule_differences.py).
// Nearly every search ends on its own; the few that would run long stop at the
// expansion budget (printed as "timeout=1"), never at a clock, so both builds
// do exactly the same work.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/sparse_graph.h"
#include "model/problem.h"
#include "solver/solver.h"
#include "bench_random.h"

namespace {

using Random = BenchRandom;

struct Instance {
  quarn::Problem problem;
  quarn::Options options;
  bool direct = false;  // solved through SolveWith on a caller's graph
};

std::string Text(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof(buffer), "%.17g", value);
  return buffer;
}

std::vector<std::vector<double>> Distances(const std::vector<std::pair<int, int>>& coords,
                                           bool euclidean, double scale) {
  const size_t n = coords.size();
  std::vector<std::vector<double>> matrix(n, std::vector<double>(n, 0.0));
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      const double dx = coords[i].first - coords[j].first;
      const double dy = coords[i].second - coords[j].second;
      matrix[i][j] = scale * (euclidean ? std::sqrt(dx * dx + dy * dy)
                                        : std::abs(dx) + std::abs(dy));
    }
  }
  return matrix;
}

Instance MakeInstance(uint64_t seed) {
  Random random(seed);
  Instance instance;
  const int n = random.Chance(10) ? random.Between(10, 12) : random.Between(3, 9);
  const int agents = random.Between(1, 3);
  const bool two_types = agents > 1 && random.Chance(30);
  std::vector<std::pair<int, int>> coords;
  for (int i = 0; i < n; ++i) {
    coords.emplace_back(random.Between(0, 10), random.Between(0, 10));
    quarn::Node node;
    node.id = static_cast<uint64_t>(i);
    node.position = {static_cast<double>(coords.back().first),
                     static_cast<double>(coords.back().second), 0.0};
    instance.problem.add_node(node);
  }
  const bool shared_depot = random.Chance(50);
  const bool has_limits = random.Chance(25);
  for (int k = 0; k < agents; ++k) {
    quarn::Agent agent;
    agent.id = static_cast<uint64_t>(k);
    agent.type = two_types && k % 2 == 1 ? "b" : "a";
    agent.start_node = shared_depot ? 0 : static_cast<uint64_t>(random.Between(0, n - 1));
    agent.end_node = random.Chance(70) ? agent.start_node
                                       : static_cast<uint64_t>(random.Between(0, n - 1));
    if (has_limits) agent.time_limit = random.Between(15, 60);
    instance.problem.add_agent(agent, agent.id);
  }
  const bool euclidean = random.Chance(50);
  instance.problem.set_cost_matrix("a", Distances(coords, euclidean, 1.0));
  if (two_types) instance.problem.set_cost_matrix("b", Distances(coords, euclidean, 1.5));

  quarn::AssignmentConstraint assignment;
  for (int i = 0; i < n; ++i) {
    std::vector<std::string> types = {"a"};
    if (two_types && (i < 2 || random.Chance(70))) types.push_back("b");
    assignment.set_assignment(static_cast<uint64_t>(i), types);
  }
  instance.problem.set_assignment_constraint(assignment);

  if (random.Chance(30)) {
    quarn::TimeWindowConstraint windows;
    for (int i = 1; i < n; ++i) {
      if (!random.Chance(50)) continue;
      const int open = random.Between(0, 20);
      windows.set_timewindow(static_cast<uint64_t>(i), open, open + random.Between(5, 40));
    }
    instance.problem.set_timewindow_constraint(windows);
  }
  instance.options.objective =
      random.Chance(50) ? quarn::ObjectiveType::MinMax : quarn::ObjectiveType::MinSum;
  instance.options.return_to_end = random.Chance(60);
  instance.options.time_limit = 1e9;  // only the expansion budget may stop a search
  instance.direct = random.Chance(15);
  return instance;
}

void PrintResult(const std::string& tag, const quarn::Result& result) {
  std::cout << tag;
  for (int32_t k = 0; k < static_cast<int32_t>(result.paths.size()); ++k) {
    auto path = result.paths.find(k);
    auto time = result.times.find(k);
    std::cout << " [" << k << ":";
    if (path != result.paths.end()) {
      for (int32_t node : path->second) std::cout << " " << node;
    }
    std::cout << " | " << (time != result.times.end() ? Text(time->second) : "-") << "]";
  }
  std::cout << "\n";
}

// The direct road: the solver's own tables handed back in through SolveWith,
// with the costs in a graph the caller owns.
int32_t SolveDirect(quarn::Solver& solver, const Instance& instance) {
  const quarn::Problem& problem = instance.problem;
  const size_t n = problem.nodes().size();
  const auto types = problem.type_index_by_name();
  quarn::SparseGraph graph;
  graph.ChangeCostDim(types.size(), 9999.0);
  for (size_t v = 0; v < n; ++v) graph.AddVertex(static_cast<int32_t>(v));
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      if (i == j) continue;
      quarn::CostVector cost(types.size(), 9999.0);
      for (const auto& [name, matrix] : problem.cost_matrices()) cost[types.at(name)] = matrix[i][j];
      graph.AddArc(static_cast<int32_t>(i), static_cast<int32_t>(j), cost);
    }
  }
  std::vector<quarn::Point> points(n);
  for (size_t i = 0; i < n; ++i) {
    points[i].id = static_cast<uint32_t>(i);
    points[i].types = problem.allowed_types(i).size() == 2 ? std::vector<int32_t>{0, 1}
                                                            : std::vector<int32_t>{0};
  }
  std::vector<quarn::AgentEntry> agents;
  std::vector<int32_t> starts;
  std::vector<int32_t> ends;
  for (const quarn::Agent& agent : problem.agents_ordered()) {
    quarn::AgentEntry entry;
    entry.id = static_cast<uint32_t>(agent.id);
    entry.type = types.at(agent.type);
    entry.time_limit = agent.time_limit;
    agents.push_back(entry);
    starts.push_back(static_cast<int32_t>(agent.start_node));
    ends.push_back(static_cast<int32_t>(agent.end_node));
  }
  return solver.SolveWith(&graph, points, agents, starts, ends, instance.options.time_limit, "");
}

// With `improve` > 0 the improvement phase runs after the search, under that
// iteration budget, so its choices are as reproducible as the search's.
void DumpSearch(const Instance& instance, uint64_t budget, uint64_t improve) {
  quarn::Options options = instance.options;
  options.improve = improve > 0;
  options.max_iterations = improve;
  quarn::Solver solver(instance.problem, options);
  solver.SetExpansionBudget(budget);
  const int32_t status = instance.direct ? SolveDirect(solver, instance) : solver.solve();
  const quarn::Result result = solver.get_result();
  const quarn::InstanceStats stats = solver.GetBounds();
  std::cout << "status=" << status << " timeout=" << result.timeout
            << " generated=" << result.n_generated << " expanded=" << result.n_expanded
            << " max_cost=" << Text(stats.max_cost) << " cost_sum=" << Text(stats.cost_sum)
            << " bound_ratio=" << Text(stats.bound_ratio) << "\n";
  PrintResult("result", result);
  for (const quarn::AnytimeEntry& entry : solver.get_result_process()) PrintResult("anytime", entry.second);
}

// The instance as a document of the JSON format; the caller's-graph road runs
// open routes whatever the options say.
nlohmann::ordered_json DocumentOf(const Instance& instance) {
  using Json = nlohmann::ordered_json;
  const quarn::Problem& problem = instance.problem;
  Json doc = {{"nodes", Json::array()}, {"agents", Json::array()}, {"costs", Json::object()}};
  for (const quarn::Node& node : problem.nodes()) {
    doc["nodes"].push_back({{"id", node.id}, {"x", node.position.x}, {"y", node.position.y}});
  }
  for (const quarn::Agent& agent : problem.agents_ordered()) {
    doc["agents"].push_back({{"id", agent.id}, {"type", agent.type}, {"start_node", agent.start_node},
                             {"end_node", agent.end_node}, {"max_length", agent.time_limit}});
  }
  for (const auto& [type, matrix] : problem.cost_matrices()) doc["costs"][type] = matrix;
  Json assignment = Json::array();
  for (const auto& [node, types] : problem.assignment().allowed_types_by_node) {
    assignment.push_back({{"node", node}, {"types", types}});
  }
  Json windows = Json::array();
  for (const auto& [node, window] : problem.time_windows().windows_by_node) {
    windows.push_back({{"node", node}, {"start", window.first}, {"end", window.second}});
  }
  doc["constraints"] = {{{"kind", "assignment"}, {"items", assignment}},
                        {{"kind", "timewindow"}, {"items", windows}}};
  const bool min_max = instance.options.objective == quarn::ObjectiveType::MinMax;
  doc["options"] = {{"objective", min_max ? "min_max" : "min_sum"},
                    {"return_to_end", instance.options.return_to_end && !instance.direct}};
  return doc;
}

// An exception is an outcome like any other: both builds must raise the same one.
void DumpOne(uint64_t seed, uint64_t budget, uint64_t improve, bool documents) {
  const Instance instance = MakeInstance(seed);
  std::cout << "== seed " << seed << " nodes=" << instance.problem.nodes().size()
            << " agents=" << instance.problem.agents_ordered().size()
            << " direct=" << instance.direct << " return_to_end=" << instance.options.return_to_end
            << " depots=";
  // Start and end of each agent, so a difference can be traced to the depot rules.
  for (const quarn::Agent& agent : instance.problem.agents_ordered()) {
    std::cout << agent.start_node << ">" << agent.end_node << ",";
  }
  std::cout << std::endl;
  if (documents) {
    std::cout << DocumentOf(instance).dump() << "\n";
    return;
  }
  try {
    DumpSearch(instance, budget, improve);
  } catch (const std::exception& error) {
    std::cout << "error=" << error.what() << "\n";
  }
  std::cout.flush();
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t count = 500;
  uint64_t first_seed = 1;
  uint64_t budget = 1000000;
  uint64_t improve = 0;
  bool documents = false;
  try {
    for (int i = 1; i + 1 < argc; i += 2) {
      const std::string arg = argv[i];
      if (arg == "--count") {
        count = std::stoull(argv[i + 1]);
      } else if (arg == "--seed") {
        first_seed = std::stoull(argv[i + 1]);
      } else if (arg == "--budget") {
        budget = std::stoull(argv[i + 1]);
      } else if (arg == "--improve") {
        improve = std::stoull(argv[i + 1]);
      } else if (arg == "--documents") {
        documents = std::stoull(argv[i + 1]) != 0;
      } else {
        throw std::invalid_argument("unknown argument " + arg);
      }
    }
    for (uint64_t seed = first_seed; seed < first_seed + count; ++seed) DumpOne(seed, budget, improve, documents);
  } catch (const std::exception& error) {
    std::cerr << "zel_equivalence_dump: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}
