#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/problem.h"
#include "solver/solver.h"

namespace quarn::test {

// Opens the solver's internals to the tests.
class SolverProbe : public Solver {
 public:
  using Solver::Solver;

  using Solver::AppendPassWeight;
  using Solver::MakeRoot;
  using Solver::PushRoot;
  using Solver::StoreChild;
  using Solver::ResetSearch;
  using Solver::WritePathDump;

  using Solver::agents_;
  using Solver::anytime_;
  using Solver::constraint_checker_;
  using Solver::end_set_;
  using Solver::ends_;
  using Solver::focal_;
  using Solver::focal_bound_;
  using Solver::focal_weights_;
  using Solver::found_;
  using Solver::frontier_count_;
  using Solver::frontier_index_;
  using Solver::frontiers_;
  using Solver::graph_;
  using Solver::incumbent_;
  using Solver::instance_stats_;
  using Solver::labels_;
  using Solver::last_update_time_;
  using Solver::max_passes_;
  using Solver::max_path_length_;
  using Solver::mst_edges_;
  using Solver::name_;
  using Solver::node_index_;
  using Solver::num_agents_;
  using Solver::num_types_;
  using Solver::objective_;
  using Solver::open_;
  using Solver::owned_graph_;
  using Solver::points_;
  using Solver::post_optimizer_;
  using Solver::result_;
  using Solver::return_to_end_;
  using Solver::start_set_;
  using Solver::starts_;
  using Solver::time_limit_;
  using Solver::time_windows_;
  using Solver::type_index_;
  using Solver::unreachable_;
};

struct AgentSpec {
  uint64_t id = 0;
  std::string type = "a";
  uint64_t start = 0;
  uint64_t end = 0;
  double time_limit = 0.0;
};

// Nodes with ids 0..n-1 at the given grid coordinates; Manhattan distances as the
// cost matrix of every agent type (whole numbers, so sums are exact); every node
// open to every type unless `assignment` says otherwise.
inline Problem GridProblem(const std::vector<std::pair<int, int>>& coords,
                           const std::vector<AgentSpec>& agents,
                           const std::map<uint64_t, std::vector<std::string>>& assignment = {}) {
  Problem problem;
  for (size_t i = 0; i < coords.size(); ++i) {
    Node node;
    node.id = i;
    node.position = {static_cast<double>(coords[i].first), static_cast<double>(coords[i].second),
                     0.0};
    problem.add_node(node);
  }
  std::vector<std::string> types;
  for (const AgentSpec& given : agents) {
    Agent agent;
    agent.id = given.id;
    agent.type = given.type;
    agent.start_node = given.start;
    agent.end_node = given.end;
    agent.time_limit = given.time_limit;
    problem.add_agent(agent, given.id);
    types.push_back(given.type);
  }
  CostMatrix matrix(coords.size(), std::vector<double>(coords.size(), 0.0));
  for (size_t i = 0; i < coords.size(); ++i) {
    for (size_t j = 0; j < coords.size(); ++j) {
      matrix[i][j] = std::abs(coords[i].first - coords[j].first) +
                     std::abs(coords[i].second - coords[j].second);
    }
  }
  for (const auto& named : problem.type_index_by_name()) problem.set_cost_matrix(named.first, matrix);
  AssignmentConstraint constraint;
  for (size_t i = 0; i < coords.size(); ++i) {
    auto special = assignment.find(i);
    constraint.set_assignment(i, special != assignment.end() ? special->second : types);
  }
  problem.set_assignment_constraint(constraint);
  return problem;
}

inline Options MakeOptions(ObjectiveType objective, bool return_to_end, double time_limit = 30.0) {
  Options options;
  options.objective = objective;
  options.return_to_end = return_to_end;
  options.time_limit = time_limit;
  return options;
}

inline double SumOf(const Result& result) {
  double sum = 0.0;
  for (int32_t k = 0; k < static_cast<int32_t>(result.times.size()); ++k) sum += result.times.at(k);
  return sum;
}

inline double MaxOf(const Result& result) {
  double largest = 0.0;
  for (const auto& entry : result.times) largest = std::max(largest, entry.second);
  return largest;
}

}  // namespace quarn::test
