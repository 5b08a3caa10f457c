#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "graph/sparse_graph.h"
#include "model/problem.h"
#include "records/label.h"
#include "solver/solver.h"

namespace quarn::test {

// The solver with the two members behaviour tests reach into: the post-optimizer,
// to install one that misbehaves, and the time-window spanning-tree edges, which
// no public call reports.
class SolverProbe : public Solver {
 public:
  using Solver::Solver;
  using Solver::mst_edges_;
  using Solver::post_optimizer_;
  using Solver::rules_;
};

struct AgentSpec {
  uint64_t id = 0;
  std::string type = "a";
  uint64_t start = 0;
  uint64_t end = 0;
  double time_limit = 0.0;
  int64_t filed_under = -1;  // the id add_agent files it under; -1: its own
  double capacity = 0.0;
};

inline Agent MakeAgent(const AgentSpec& given) {
  Agent agent;
  agent.id = given.id;
  agent.type = given.type;
  agent.start_node = given.start;
  agent.end_node = given.end;
  agent.time_limit = given.time_limit;
  agent.capacity_limit = given.capacity;
  return agent;
}

// The solver's agent table: one entry per type index, each with the same limit.
inline std::vector<AgentEntry> AgentsOfTypes(const std::vector<int32_t>& types, double limit = 0.0) {
  std::vector<AgentEntry> agents(types.size());
  for (size_t i = 0; i < types.size(); ++i) {
    agents[i].type = types[i];
    agents[i].time_limit = limit;
  }
  return agents;
}

inline std::vector<Point> PointsWithTypes(const std::vector<std::vector<int32_t>>& types) {
  std::vector<Point> points(types.size());
  for (size_t i = 0; i < types.size(); ++i) points[i].types = types[i];
  return points;
}

// A label over `num_nodes` nodes with agent k at positions[k]; costs and finish
// flags not given are 0, and `remaining` agrees with the flags.
inline Label MakeLabel(int32_t num_nodes, std::vector<int32_t> positions, std::vector<double> costs = {},
                       std::vector<uint8_t> finished = {}, const std::vector<int32_t>& visited = {}) {
  Label label;
  label.visited = VisitedSet(num_nodes);
  for (int32_t v : visited) label.visited.set(v);
  if (costs.empty()) costs.assign(positions.size(), 0.0);
  if (finished.empty()) finished.assign(positions.size(), 0);
  label.positions = std::move(positions);
  label.costs = std::move(costs);
  label.finished = std::move(finished);
  label.remaining = static_cast<int32_t>(std::count(label.finished.begin(), label.finished.end(), 0));
  return label;
}

// A small deterministic generator: a value in [0, range).
struct Lcg {
  uint32_t state;
  int32_t operator()(uint32_t range) {
    state = state * 1664525u + 1013904223u;
    return static_cast<int32_t>((state >> 8) % range);
  }
};

// Nodes with ids 0..n-1 at the given grid coordinates; Manhattan distances as the
// cost matrix of every agent type (whole numbers, so sums are exact); every node
// open to every type unless `assignment` says otherwise; node i demands demands[i] (0 beyond).
inline Problem GridProblem(const std::vector<std::pair<int, int>>& coords,
                           const std::vector<AgentSpec>& agents,
                           const std::map<uint64_t, std::vector<std::string>>& assignment = {},
                           const std::vector<double>& demands = {}) {
  Problem problem;
  CostMatrix matrix;
  for (const auto& [x, y] : coords) {
    Node node;
    node.id = matrix.size();
    if (node.id < demands.size()) node.demand = demands[node.id];
    node.position = {static_cast<double>(x), static_cast<double>(y), 0.0};
    problem.add_node(node);
    matrix.emplace_back();
    for (const auto& [u, v] : coords) matrix.back().push_back(std::abs(x - u) + std::abs(y - v));
  }
  std::vector<std::string> types;
  for (const AgentSpec& given : agents) {
    problem.add_agent(MakeAgent(given), given.filed_under < 0 ? given.id
                                                              : static_cast<uint64_t>(given.filed_under));
    types.push_back(given.type);
  }
  for (const auto& named : problem.type_index_by_name()) problem.set_cost_matrix(named.first, matrix);
  AssignmentConstraint constraint;
  for (uint64_t id = 0; id < coords.size(); ++id) {
    auto special = assignment.find(id);
    constraint.set_assignment(id, special != assignment.end() ? special->second : types);
  }
  problem.set_assignment_constraint(constraint);
  return problem;
}

// Nodes 0..n-1, `agents` agents of type "a" at node 0, every node open to them; costs as given.
inline Problem MatrixProblem(const CostMatrix& costs, int agents = 1) {
  std::vector<AgentSpec> fleet;
  for (int k = 0; k < agents; ++k) fleet.push_back({static_cast<uint64_t>(k)});
  Problem problem = GridProblem(std::vector<std::pair<int, int>>(costs.size()), fleet);
  problem.set_cost_matrix("a", costs);
  return problem;
}

// `problem` with node v's service set to services[v] (the rest 0).
inline Problem Served(const Problem& problem, const std::vector<double>& services) {
  Problem served;
  size_t v = 0;
  for (Node node : problem.nodes()) {
    node.service = v < services.size() ? services[v] : 0.0;
    served.add_node(node);
    ++v;
  }
  for (const Agent& agent : problem.agents_ordered()) served.add_agent(agent, agent.id);
  for (const auto& [type, matrix] : problem.cost_matrices()) served.set_cost_matrix(type, matrix);
  served.set_assignment_constraint(problem.assignment());
  served.set_timewindow_constraint(problem.time_windows());
  return served;
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
  for (const auto& entry : result.times) sum += entry.second;
  return sum;
}

inline double MaxOf(const Result& result) {
  double largest = 0.0;
  for (const auto& entry : result.times) largest = std::max(largest, entry.second);
  return largest;
}

// Input for SolveWith: the complete graph on the line 0 - 1 - 2 (cost |u - v|, one
// component), every point open to type 0, `agents` agents of type 0.
struct LineInput {
  SparseGraph graph;
  std::vector<Point> points = PointsWithTypes({{0}, {0}, {0}});
  std::vector<AgentEntry> agents;
  explicit LineInput(size_t num_agents = 1) : agents(num_agents) {
    graph.ChangeCostDim(1, 9999.0);
    for (int32_t u = 0; u < 3; ++u) {
      for (int32_t v = 0; v < 3; ++v) {
        if (u != v) graph.AddArc(u, v, {static_cast<double>(std::abs(u - v))});
      }
    }
  }
};

// What a call wrote on both streams, and what it threw.
struct Output {
  std::string out;
  std::string err;
  std::exception_ptr error;
};

template <typename Run>
Output Capture(Run&& run) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  Output output;
  try {
    run();
  } catch (...) {
    output.error = std::current_exception();
  }
  output.err = ::testing::internal::GetCapturedStderr();
  output.out = ::testing::internal::GetCapturedStdout();
  return output;
}

// The message of `error` when it is an E, so one comparison pins type and text.
template <typename E>
std::string WhatOf(const std::exception_ptr& error) {
  if (!error) return "(nothing thrown)";
  try {
    std::rethrow_exception(error);
  } catch (const E& e) {
    return e.what();
  } catch (...) {
  }
  return "(thrown as another type)";
}

}  // namespace quarn::test
