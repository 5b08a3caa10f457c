#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/json_loader.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

// Depot 0 and targets 1-4 on a line (4 far out), one agent of type "a" with a
// length limit of 30: target 2's window closes before time 0, only type "b" may
// visit 3, and the trip to 4 and back is 40 long.
std::string Document(const std::vector<std::string>& node_extras, const std::string& options) {
  const int xs[] = {0, 1, 2, 3, 20};
  nlohmann::json doc = nlohmann::json::parse(R"({
    "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0, "max_length": 30}],
    "constraints": [
      {"kind": "assignment", "items": [{"node": 0, "types": ["a"]}, {"node": 1, "types": ["a"]},
        {"node": 2, "types": ["a"]}, {"node": 3, "types": ["b"]}, {"node": 4, "types": ["a"]}]},
      {"kind": "timewindow", "items": [{"node": 2, "start": -5, "end": -1}]}]})");
  for (size_t i = 0; i < 5; ++i) {
    nlohmann::json node = {{"id", i}, {"x", xs[i]}, {"y", 0}};
    if (i == 0) node["type"] = "depot";
    if (!node_extras[i].empty()) node.update(nlohmann::json::parse(node_extras[i]));
    doc["nodes"].push_back(node);
    for (size_t j = 0; j < 5; ++j) doc["costs"]["a"][i][j] = std::abs(xs[i] - xs[j]);
  }
  doc["options"] = nlohmann::json::parse(options);
  doc["options"]["quiet"] = true;
  return doc.dump();
}

Problem Load(const std::string& text) {
  Problem problem;
  load_problem_from_json(nlohmann::json::parse(text), problem);
  return problem;
}

// `problem` with node `index`'s penalty replaced (numbers a document cannot hold).
Problem WithPenalty(const Problem& problem, size_t index, double penalty) {
  Problem out;
  for (Node node : problem.nodes()) {
    if (out.nodes().size() == index) node.penalty = penalty;
    out.add_node(node);
  }
  for (const Agent& agent : problem.agents_ordered()) out.add_agent(agent, agent.id);
  for (const auto& [type, matrix] : problem.cost_matrices()) out.set_cost_matrix(type, matrix);
  out.set_assignment_constraint(problem.assignment());
  out.set_timewindow_constraint(problem.time_windows());
  out.options() = problem.options();
  return out;
}

const std::vector<std::string> kPlain(5);

TEST(OptionalTargets, BadPenaltiesAreRefusedBeforeAnySearch) {
  const std::string improve = R"({"improve": true})";
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    Problem problem;
    std::string message;
  } cases[] = {
      {Load(Document({R"({"penalty": 5})", "", "", "", ""}, improve)), "node 0 is a depot"},
      {Load(Document({"", R"({"penalty": -1})", "", "", ""}, improve)), "node 1's penalty is -1: a penalty"},
      {Load(Document(kPlain, R"({"improve": true, "default_penalty": -2})")), "\"default_penalty\" is -2"},
      {WithPenalty(Load(Document(kPlain, improve)), 1, nan), "node 1's penalty is nan"},
      {WithPenalty(Load(Document(kPlain, improve)), 4, inf), "node 4's penalty is inf"},
      {Load(Document({"", R"({"penalty": 1})", "", "", ""}, "{}")),
       "penalties are honoured by the improvement phase: set \"improve\": true"},
      {Load(Document(kPlain, R"({"default_penalty": 0})")), "penalties are honoured by the improvement phase"},
  };
  for (const auto& c : cases) {
    const Output out = Capture([&] { Solver solver(c.problem, c.problem.options()); });
    EXPECT_NE(WhatOf<std::invalid_argument>(out.error).find(c.message), std::string::npos)
        << WhatOf<std::invalid_argument>(out.error);
  }
}

}  // namespace
}  // namespace quarn::test
