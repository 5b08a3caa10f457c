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
#include "solver/solver.h"

namespace quarn::test {

// Opens the solver's internals to the tests.
class SolverProbe : public Solver {
 public:
  using Solver::Solver;

  using Solver::AppendPassWeight;
  using Solver::MakeRoot;
  using Solver::ResetSearch;
  using Solver::WritePathDump;

  using Solver::agents_;
  using Solver::constraint_checker_;
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
  using Solver::labels_;
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
  using Solver::starts_;
  using Solver::time_limit_;
  using Solver::time_windows_;
  using Solver::unreachable_;
};

struct AgentSpec {
  uint64_t id = 0;
  std::string type = "a";
  uint64_t start = 0;
  uint64_t end = 0;
  double time_limit = 0.0;
  int64_t filed_under = -1;  // the id add_agent files it under; -1: its own
};

// Nodes with ids 0..n-1 at the given grid coordinates; Manhattan distances as the
// cost matrix of every agent type (whole numbers, so sums are exact); every node
// open to every type unless `assignment` says otherwise.
inline Problem GridProblem(const std::vector<std::pair<int, int>>& coords,
                           const std::vector<AgentSpec>& agents,
                           const std::map<uint64_t, std::vector<std::string>>& assignment = {}) {
  Problem problem;
  CostMatrix matrix;
  for (const auto& [x, y] : coords) {
    Node node;
    node.id = matrix.size();
    node.position = {static_cast<double>(x), static_cast<double>(y), 0.0};
    problem.add_node(node);
    matrix.emplace_back();
    for (const auto& [u, v] : coords) matrix.back().push_back(std::abs(x - u) + std::abs(y - v));
  }
  std::vector<std::string> types;
  for (const AgentSpec& given : agents) {
    Agent agent;
    agent.id = given.id;
    agent.type = given.type;
    agent.start_node = given.start;
    agent.end_node = given.end;
    agent.time_limit = given.time_limit;
    problem.add_agent(agent, given.filed_under < 0 ? given.id
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

// Input for SolveWith: the complete graph on the line 0 - 1 - 2 (cost |u - v|, one
// component), every point open to type 0, one agent of type 0.
struct LineInput {
  SparseGraph graph;
  std::vector<Point> points;
  std::vector<AgentEntry> agents{1};
  LineInput() {
    graph.ChangeCostDim(1, 9999.0);
    for (int32_t u = 0; u < 3; ++u) {
      for (int32_t v = 0; v < 3; ++v) {
        if (u != v) graph.AddArc(u, v, {static_cast<double>(std::abs(u - v))});
      }
    }
    points.resize(3);
    for (Point& point : points) point.types = {0};
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
