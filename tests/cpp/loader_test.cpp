#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/json_loader.h"

namespace quarn {
namespace {

using nlohmann::json;

constexpr uint64_t kU64Max = std::numeric_limits<uint64_t>::max();
constexpr double kI32Max = std::numeric_limits<int32_t>::max();
constexpr double kI32Min = std::numeric_limits<int32_t>::min();

Problem Load(const std::string& text) {
  Problem problem;
  load_problem_from_json(json::parse(text), problem);
  return problem;
}

// A message counts only when thrown as the exception class its prefix names.
std::string Classed(const std::string& kind, const std::string& message) {
  const std::string prefix = "[json.exception." + kind + ".";
  return message.rfind(prefix, 0) == 0 ? message : "thrown as the wrong class: " + message;
}

std::string LoadError(const std::string& text, Problem& problem) {
  try {
    load_problem_from_json(json::parse(text), problem);
  } catch (const json::type_error& e) {
    return Classed("type_error", e.what());
  } catch (const json::out_of_range& e) {
    return Classed("out_of_range", e.what());
  }
  return "no error";
}

std::string LoadError(const std::string& text) {
  Problem problem;
  return LoadError(text, problem);
}

std::string WithNode(const std::string& node) {
  return R"({"nodes": [)" + node + R"(], "agents": []})";
}
std::string WithAgent(const std::string& agent) {
  return R"({"nodes": [], "agents": [)" + agent + "]}";
}
std::string WithTop(const std::string& members) {
  return R"({"nodes": [], "agents": [], )" + members + "}";
}
std::string WithConstraint(const std::string& kind, const std::string& list_key,
                           const std::string& item) {
  return WithTop(R"("constraints": [{"kind": ")" + kind + R"(", ")" + list_key + R"(": [)" + item +
                 "]}]");
}

const std::string kTypeError = "[json.exception.type_error.";
std::string Missing(const std::string& key) {
  return "[json.exception.out_of_range.403] key '" + key + "' not found";
}
std::string NotA(const std::string& wanted, const std::string& got) {
  return kTypeError + "302] type must be " + wanted + ", but is " + got;
}
std::string NoAt(const std::string& got) { return kTypeError + "304] cannot use at() with " + got; }
std::string NoValue(const std::string& got) {
  return kTypeError + "306] cannot use value() with " + got;
}

struct ErrorCase {
  std::string doc;
  std::string message;
};

std::vector<ErrorCase> ErrorCases() {
  const std::string agent = R"("id": 1, "type": "a", "start_node": 0, "end_node": 0)";
  return {
      // Top level, in reading order.
      {"[]", NoAt("array")},
      {"{}", Missing("nodes")},
      {R"({"agents": 5})", Missing("nodes")},
      {R"({"nodes": []})", Missing("agents")},
      // Nodes: keys read in the order id, x, y, z, type, demand.
      {WithNode("5"), NoAt("number")},
      {WithNode("{}"), Missing("id")},
      {WithNode(R"({"id": 1, "y": 0})"), Missing("x")},
      {WithNode(R"({"id": 1, "x": 0})"), Missing("y")},
      {WithNode(R"({"id": true, "x": 0, "y": 0})"), NotA("number", "boolean")},
      {WithNode(R"({"id": null, "x": 0, "y": 0})"), NotA("number", "null")},
      {WithNode(R"({"id": "3", "x": 0, "y": 0})"), NotA("number", "string")},
      {WithNode(R"({"id": 1, "x": "1"})"), NotA("number", "string")},
      {WithNode(R"({"id": 1, "x": 0, "y": 0, "z": null})"), NotA("number", "null")},
      {WithNode(R"({"id": 1, "x": 0, "y": 0, "type": 1})"), NotA("string", "number")},
      {WithNode(R"({"id": 1, "x": 0, "y": 0, "demand": []})"), NotA("number", "array")},
      // Agents: id, type, start_node, end_node, capacity, max_length.
      {WithAgent("[]"), NoAt("array")},
      {WithAgent("{}"), Missing("id")},
      {WithAgent(R"({"id": 1, "start_node": 0})"), Missing("type")},
      {WithAgent(R"({"id": 1, "type": 3})"), NotA("string", "number")},
      {WithAgent(R"({"id": 1, "type": "a", "end_node": 0})"), Missing("start_node")},
      {WithAgent(R"({"id": 1, "type": "a", "start_node": 0})"), Missing("end_node")},
      {WithAgent("{" + agent + R"(, "capacity": true})"), NotA("number", "boolean")},
      {WithAgent("{" + agent + R"(, "max_length": false})"), NotA("number", "boolean")},
      {WithAgent("{" + agent + R"(, "capacity": null})"), NotA("number", "null")},
      {WithAgent("{" + agent + R"(, "capacity": "7", "max_length": true})"),
       NotA("number", "string")},
      // Costs.
      {WithTop(R"("costs": 5)"), NotA("array", "number")},
      {WithTop(R"("costs": {"a": 5})"), NotA("array", "number")},
      {WithTop(R"("costs": {"a": [5]})"), NotA("array", "number")},
      {WithTop(R"("costs": {"a": [[true]]})"), NotA("number", "boolean")},
      // Constraints.
      {WithTop(R"("constraints": [3])"), NoAt("number")},
      {WithTop(R"("constraints": [{"items": []}])"), Missing("kind")},
      {WithTop(R"("constraints": [{"kind": 1}])"), NotA("string", "number")},
      {WithConstraint("assignment", "items", "[]"), NoAt("array")},
      {WithConstraint("assignment", "items", R"({"types": []})"), Missing("node")},
      {WithConstraint("assignment", "items", R"({"node": 1})"), Missing("types")},
      {WithConstraint("assignment", "items", R"({"node": 1, "types": "a"})"),
       NotA("array", "string")},
      {WithConstraint("assignment", "items", R"({"node": 1, "types": ["a", 1]})"),
       NotA("string", "number")},
      {WithConstraint("timewindow", "items", R"({"node": 4, "start": 10})"), Missing("end")},
      {WithConstraint("timewindow", "items", R"({"start": 10})"), Missing("end")},
      {WithConstraint("timewindow", "items", R"({"end": 5, "node": 1})"), Missing("start")},
      {WithConstraint("timewindow", "items", R"({"end": 5, "start": 1})"), Missing("node")},
      {WithConstraint("timewindow", "items", R"({"end": "5"})"), NotA("number", "string")},
      {WithConstraint("sequence", "precedence", "{}"), Missing("before")},
      {WithConstraint("sequence", "precedence", R"({"after": 5})"), Missing("before")},
      {WithConstraint("sequence", "precedence", R"({"before": 3})"), Missing("after")},
      {WithConstraint("sequence", "precedence", R"({"before": 3, "after": 5, "type": 1})"),
       NotA("string", "number")},
      // Options: value() on a non-object, then return_to_end, objective, time_limit.
      {WithTop(R"("options": [])"), NoValue("array")},
      {WithTop(R"("options": null)"), NoValue("null")},
      {WithTop(R"("options": {"return_to_end": 1})"), NotA("boolean", "number")},
      {WithTop(R"("options": {"objective": 1, "time_limit": "x"})"), NotA("string", "number")},
      {WithTop(R"("options": {"time_limit": "x"})"), NotA("number", "string")},
      // Step order: agents before costs before constraints before options.
      {R"({"nodes": [], "agents": [{}], "costs": 5})", Missing("id")},
      {WithTop(R"("costs": 5, "constraints": [3])"), NotA("array", "number")},
      {WithTop(R"("options": [], "constraints": [3])"), NoAt("number")},
  };
}

TEST(LoaderTest, ErrorsAreTheLibrarysOwnInReadingOrder) {
  for (const ErrorCase& c : ErrorCases()) {
    SCOPED_TRACE(c.doc);
    EXPECT_EQ(LoadError(c.doc), c.message);
  }
}

TEST(LoaderTest, EmptyDocumentGivesEmptyProblemAndInstallsEmptyConstraints) {
  Problem problem;
  AssignmentConstraint stale;
  stale.set_assignment(1, {"a"});
  problem.set_assignment_constraint(stale);
  problem.same_pairs.emplace_back(1, 2);
  load_problem_from_json(json::parse(R"({"nodes": [], "agents": []})"), problem);
  EXPECT_EQ(problem.num_nodes(), 0u);
  EXPECT_EQ(problem.num_agents(), 0u);
  EXPECT_TRUE(problem.cost_matrices().empty());
  EXPECT_TRUE(problem.assignment().allowed_types_by_node.empty());
  EXPECT_TRUE(problem.same_pairs.empty());
  EXPECT_TRUE(problem.options().return_to_end);
  EXPECT_EQ(problem.options().objective, ObjectiveType::MinSum);
  EXPECT_EQ(problem.options().time_limit, 60.0);
}

TEST(LoaderTest, FullDocumentFillsEveryField) {
  const Problem p = Load(R"({
    "nodes": [{"id": 0, "x": 1.5, "y": 2, "type": "depot", "extra": 1},
              {"id": 7, "x": -1, "y": 3, "z": 4.25, "demand": 2.5}],
    "agents": [{"id": 10, "type": "b", "start_node": 0, "end_node": 7,
                "capacity": 7.9, "max_length": 30},
               {"id": 11, "type": "a", "start_node": 0, "end_node": 0},
               {"id": 10, "type": "a", "start_node": 7, "end_node": 7}],
    "costs": {"a": [[0, 1], [1.5, 0]], "b": []},
    "options": {"return_to_end": false, "objective": "min_max", "time_limit": 2}})");
  ASSERT_EQ(p.num_nodes(), 2u);
  const Node& depot = p.nodes()[0];
  EXPECT_EQ(depot.type, NodeType::DEPOT);
  EXPECT_EQ(depot.position.x, 1.5);
  EXPECT_EQ(depot.position.z, 0.0);
  EXPECT_EQ(depot.demand, 0.0);
  const Node& target = p.nodes()[1];
  EXPECT_EQ(target.id, 7u);
  EXPECT_EQ(target.type, NodeType::TARGET);
  EXPECT_EQ(target.position.x, -1.0);
  EXPECT_EQ(target.position.z, 4.25);
  EXPECT_EQ(target.demand, 2.5);

  ASSERT_EQ(p.agents_ordered().size(), 3u);
  const Agent& first = p.agents_ordered()[0];
  EXPECT_EQ(first.end_node, 7u);
  EXPECT_EQ(first.capacity_limit, 7.0);
  EXPECT_EQ(first.time_limit, 30.0);
  EXPECT_EQ(p.agents_ordered()[1].capacity_limit, 0.0);
  EXPECT_EQ(p.agents_ordered()[1].time_limit, 0.0);
  EXPECT_EQ(p.num_agents(), 2u);
  EXPECT_EQ(p.agent_index_by_id().at(10), 2);
  EXPECT_EQ(p.type_names(), (std::vector<std::string>{"b", "a"}));

  EXPECT_EQ(p.cost_matrices().at("a"), (CostMatrix{{0.0, 1.0}, {1.5, 0.0}}));
  EXPECT_TRUE(p.cost_matrices().at("b").empty());
  EXPECT_FALSE(p.options().return_to_end);
  EXPECT_EQ(p.options().objective, ObjectiveType::MinMax);
  EXPECT_EQ(p.options().time_limit, 2.0);
}

TEST(LoaderTest, CostsGivenAsArrayAreNamedByIndex) {
  const Problem p = Load(WithTop(R"("costs": [[[0, 1], [1, 0]], [[0]]])"));
  EXPECT_EQ(p.cost_matrices().size(), 2u);
  EXPECT_EQ(p.cost_matrices().at("0"), (CostMatrix{{0.0, 1.0}, {1.0, 0.0}}));
  EXPECT_EQ(p.cost_matrices().at("1"), (CostMatrix{{0.0}}));
}

// Every id field goes through the same conversion; floating values never take the undefined cast.
TEST(LoaderTest, IdFieldsTruncateWrapAndSaturate) {
  const std::vector<std::pair<std::string, uint64_t>> cases = {
      {"7", 7},
      {"7.9", 7},
      {"-0.5", 0},
      {"-1", kU64Max},
      {"-1.5", kU64Max},
      {"-2.9", kU64Max - 1},
      {"18446744073709551615", kU64Max},
      {"1e300", kU64Max},
      {"-1e300", uint64_t{1} << 63},  // saturates at the smallest 64-bit integer, then wraps
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const std::string& v = text;
    const Problem p = Load(R"({"nodes": [{"id": )" + v + R"(, "x": 0, "y": 0}],
      "agents": [{"id": )" + v + R"(, "type": "a", "start_node": )" + v + R"(,
                  "end_node": )" + v + R"(}],
      "constraints": [
        {"kind": "assignment", "items": [{"node": )" + v + R"(, "types": ["a"]}]},
        {"kind": "timewindow", "items": [{"end": 1, "start": 0, "node": )" + v + R"(}]},
        {"kind": "sequence", "precedence": [{"before": )" + v + R"(, "after": )" + v + "}]}]}");
    EXPECT_EQ(p.nodes()[0].id, expected);
    const Agent& agent = p.agents_ordered()[0];
    EXPECT_EQ(agent.id, expected);
    EXPECT_EQ(agent.start_node, expected);
    EXPECT_EQ(agent.end_node, expected);
    EXPECT_EQ(p.agents_by_id().count(expected), 1u);
    EXPECT_EQ(p.assignment().allowed_types_by_node.count(expected), 1u);
    EXPECT_EQ(p.time_windows().windows_by_node.count(expected), 1u);
    EXPECT_EQ(p.precedence_pairs, (std::vector<NodePair>{{expected, expected}}));
  }
}

TEST(LoaderTest, WholeFieldsTruncateAndSaturateAt32Bits) {
  const std::vector<std::pair<std::string, double>> cases = {
      {"2.9", 2.0},
      {"-2.9", -2.0},
      {"-5", -5.0},
      {"2147483647", kI32Max},
      {"2147483648", kI32Max},
      {"-2147483649", kI32Min},
      {"18446744073709551615", kI32Max},
      {"3e9", kI32Max},
      {"1e300", kI32Max},
      {"-1e300", kI32Min},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const std::string agent = R"({"id": 1, "type": "a", "start_node": 0, "end_node": 0,
                                  "capacity": )" + text + R"(, "max_length": )" + text + "}";
    const Problem p = Load(WithAgent(agent));
    EXPECT_EQ(p.agents_ordered()[0].capacity_limit, expected);
    EXPECT_EQ(p.agents_ordered()[0].time_limit, expected);
  }
}

TEST(LoaderTest, NodeTypeIsDepotOnlyForTheUpperCasedWord) {
  const std::vector<std::pair<std::string, NodeType>> cases = {
      {R"(, "type": "depot")", NodeType::DEPOT},   {R"(, "type": "Depot")", NodeType::DEPOT},
      {R"(, "type": "DEPOT")", NodeType::DEPOT},   {R"(, "type": "Depot ")", NodeType::TARGET},
      {R"(, "type": "hub")", NodeType::TARGET},    {R"(, "type": "")", NodeType::TARGET},
      {R"(, "type": "d\u00e9p\u00f4t")", NodeType::TARGET}, {"", NodeType::TARGET},
  };
  for (const auto& [member, expected] : cases) {
    SCOPED_TRACE(member);
    const Problem p = Load(WithNode(R"({"id": 1, "x": 0, "y": 0)" + member + "}"));
    EXPECT_EQ(p.nodes()[0].type, expected);
  }
}

TEST(LoaderTest, ObjectiveIsMinMaxOnlyForTwoSpellings) {
  const std::vector<std::pair<std::string, ObjectiveType>> cases = {
      {R"("objective": "min_max")", ObjectiveType::MinMax},
      {R"("objective": "MIN_MAX")", ObjectiveType::MinMax},
      {R"("objective": "min_sum")", ObjectiveType::MinSum},
      {R"("objective": "MIN_SUM")", ObjectiveType::MinSum},
      {R"("objective": "minmax")", ObjectiveType::MinSum},
      {R"("objective": "Min_Max")", ObjectiveType::MinSum},
      {R"("objective": "MinMax")", ObjectiveType::MinSum},
      {R"("time_limit": 5)", ObjectiveType::MinSum},
  };
  for (const auto& [member, expected] : cases) {
    SCOPED_TRACE(member);
    const Problem p = Load(WithTop(R"("options": {)" + member + "}"));
    EXPECT_EQ(p.options().objective, expected);
  }
}

TEST(LoaderTest, ConstraintsAccumulateLaterItemsWinAndOthersAreSkipped) {
  const Problem p = Load(WithTop(R"("constraints": [
    {"kind": "assignment", "items": [{"node": 1, "types": ["a"]},
                                     {"node": 1, "types": ["b", "a"]}]},
    {"kind": "Assignment", "items": [{"node": 2, "types": ["a"]}]},
    {"kind": "assignment", "list": [{"node": 3, "types": ["a"]}]},
    {"kind": "other", "items": 5},
    {"kind": "assignment", "items": [{"node": 4, "types": []}]},
    {"kind": "timewindow", "items": [{"node": 1, "start": 0, "end": 5},
                                     {"node": 1, "start": 2, "end": 9}]},
    {"kind": "timewindow", "items": [{"node": 2, "start": 7, "end": 3}]},
    {"kind": "sequence", "precedence": [{"before": 3, "after": 5, "type": "same"},
                                        {"before": 5, "after": 7}]},
    {"kind": "sequence", "precedence": [{"before": 1, "after": 2, "type": "diff"},
                                        {"before": 5, "after": 7, "type": "SAME"}]}])"));
  const auto& allowed = p.assignment().allowed_types_by_node;
  EXPECT_EQ(allowed.size(), 2u);
  EXPECT_EQ(allowed.at(1), (std::vector<std::string>{"b", "a"}));
  EXPECT_TRUE(allowed.at(4).empty());
  const auto& windows = p.time_windows().windows_by_node;
  EXPECT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows.at(1), std::make_pair(2.0, 9.0));
  EXPECT_EQ(windows.at(2), std::make_pair(7.0, 3.0));
  EXPECT_EQ(p.same_pairs, (std::vector<NodePair>{{3, 5}}));
  EXPECT_EQ(p.diff_pairs, (std::vector<NodePair>{{1, 2}}));
  EXPECT_EQ(p.precedence_pairs, (std::vector<NodePair>{{5, 7}, {5, 7}}));
}

TEST(LoaderTest, FailureLeavesWhatWasReadBefore) {
  Problem missing_agents;
  const std::string two_nodes =
      R"({"nodes": [{"id": 1, "x": 0, "y": 0}, {"id": 2, "x": 0, "y": 0}]})";
  EXPECT_EQ(LoadError(two_nodes, missing_agents), Missing("agents"));
  EXPECT_EQ(missing_agents.num_nodes(), 2u);

  // Constraints are installed only after the whole list was read.
  Problem bad_constraint;
  const std::string second_bad = WithTop(R"("costs": {"a": [[0]]}, "constraints": [
      {"kind": "assignment", "items": [{"node": 1, "types": ["a"]}]}, {"kind": 2}])");
  EXPECT_EQ(LoadError(second_bad, bad_constraint), NotA("string", "number"));
  EXPECT_EQ(bad_constraint.cost_matrices().count("a"), 1u);
  EXPECT_TRUE(bad_constraint.assignment().allowed_types_by_node.empty());

  Problem bad_objective;
  const std::string null_objective =
      WithTop(R"("options": {"return_to_end": false, "objective": null})");
  EXPECT_EQ(LoadError(null_objective, bad_objective), NotA("string", "null"));
  EXPECT_FALSE(bad_objective.options().return_to_end);
}

}  // namespace
}  // namespace quarn
