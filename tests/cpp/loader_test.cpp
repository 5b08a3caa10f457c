#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/json_loader.h"

namespace quarn {
namespace {

using nlohmann::json;

constexpr uint64_t kU64Max = std::numeric_limits<uint64_t>::max();
constexpr double kI32Max = std::numeric_limits<int32_t>::max();

Problem Load(const std::string& text) {
  Problem problem;
  load_problem_from_json(json::parse(text), problem);
  return problem;
}

// The message, when thrown as the library exception class its prefix names.
std::string LoadError(const std::string& text, Problem& problem) {
  auto classed = [](const std::string& kind, const std::string& message) {
    const bool right = message.rfind("[json.exception." + kind + ".", 0) == 0;
    return right ? message : "thrown as the wrong class: " + message;
  };
  try {
    load_problem_from_json(json::parse(text), problem);
  } catch (const json::type_error& e) {
    return classed("type_error", e.what());
  } catch (const json::out_of_range& e) {
    return classed("out_of_range", e.what());
  }
  return "no error";
}

std::string WithNode(const std::string& node) { return R"({"nodes": [)" + node + R"(], "agents": []})"; }
std::string WithAgent(const std::string& agent) { return R"({"nodes": [], "agents": [)" + agent + "]}"; }
std::string WithTop(const std::string& members) { return R"({"nodes": [], "agents": [], )" + members + "}"; }
std::string WithItem(const std::string& kind, const std::string& item) {
  const std::string list = kind == "sequence" ? "precedence" : "items";
  return WithTop(R"("constraints": [{"kind": ")" + kind + R"(", ")" + list + R"(": [)" + item + "]}]");
}

std::string Missing(const std::string& key) {
  return "[json.exception.out_of_range.403] key '" + key + "' not found";
}
std::string NotA(const std::string& wanted, const std::string& got) {
  return "[json.exception.type_error.302] type must be " + wanted + ", but is " + got;
}
std::string NoAt(const std::string& got) {
  return "[json.exception.type_error.304] cannot use at() with " + got;
}

// Which error a document with several faults raises depends on the order the
// loader reads its keys (the library's texts for each key are pinned through
// the Python module): each row has two faults, or a key missing after the first.
TEST(Loader, ErrorsComeInReadingOrder) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"agents": 5})", Missing("nodes")},
      {WithNode(R"({"id": 1})"), Missing("x")},
      {WithNode(R"({"id": 1, "x": 0})"), Missing("y")},
      {WithNode(R"({"id": 1, "x": 0, "y": 0, "z": null, "type": 1})"), NotA("number", "null")},
      {WithAgent(R"({"id": 1})"), Missing("type")},
      {WithAgent(R"({"id": 1, "type": "a"})"), Missing("start_node")},
      {WithAgent(R"({"id": 1, "type": "a", "start_node": 0})"), Missing("end_node")},
      {WithAgent(R"({"id": 1, "type": "a", "start_node": 0, "end_node": 0, "capacity": "7",
                     "max_length": true})"), NotA("number", "string")},
      {WithItem("assignment", R"({"node": 1})"), Missing("types")},
      {WithItem("timewindow", R"({"end": 5})"), Missing("start")},
      {WithItem("timewindow", R"({"end": 5, "start": 1})"), Missing("node")},
      {WithItem("sequence", R"({"before": 3})"), Missing("after")},
      {WithTop(R"("options": {"return_to_end": 1, "objective": 1})"), NotA("boolean", "number")},
      {WithTop(R"("options": {"objective": 1, "time_limit": "x"})"), NotA("string", "number")},
      // Step order: agents, costs, constraints, options.
      {R"({"nodes": [], "agents": [{}], "costs": 5})", Missing("id")},
      {WithTop(R"("costs": 5, "constraints": [3])"), NotA("array", "number")},
      {WithTop(R"("options": [], "constraints": [3])"), NoAt("number")},
  };
  for (const auto& [doc, message] : cases) {
    Problem problem;
    EXPECT_EQ(LoadError(doc, problem), message) << doc;
  }
}

TEST(Loader, FailureLeavesWhatWasReadBefore) {
  Problem nodes_only;
  EXPECT_EQ(LoadError(R"({"nodes": [{"id": 1, "x": 0, "y": 0}]})", nodes_only), Missing("agents"));
  EXPECT_EQ(nodes_only.num_nodes(), 1u);
  // Constraints are installed only once the whole list was read.
  Problem bad_constraint;
  EXPECT_EQ(LoadError(WithTop(R"("costs": {"a": [[0]]}, "constraints": [
      {"kind": "assignment", "items": [{"node": 1, "types": ["a"]}]}, {"kind": 2}])"),
                      bad_constraint),
            NotA("string", "number"));
  EXPECT_EQ(bad_constraint.cost_matrices().count("a"), 1u);
  EXPECT_TRUE(bad_constraint.assignment().allowed_types_by_node.empty());
  Problem bad_objective;
  EXPECT_EQ(LoadError(WithTop(R"("options": {"return_to_end": false, "objective": null})"),
                      bad_objective),
            NotA("string", "null"));
  EXPECT_FALSE(bad_objective.options().return_to_end);
}

TEST(Loader, FullDocumentFillsEveryFieldAndAbsentKeysTakeTheirDefaults) {
  Problem p;
  AssignmentConstraint stale;
  stale.set_assignment(1, {"a"});
  p.set_assignment_constraint(stale);
  p.same_pairs.emplace_back(1, 2);
  load_problem_from_json(json::parse(R"({
    "nodes": [{"id": 0, "x": 1.5, "y": 2, "type": "depot", "extra": 1},
              {"id": 7, "x": -1, "y": 3, "z": 4.25, "demand": 2.5}],
    "agents": [{"id": 10, "type": "b", "start_node": 0, "end_node": 7, "max_length": 30},
               {"id": 11, "type": "a", "start_node": 0, "end_node": 0}],
    "costs": {"a": [[0, 1], [1.5, 0]], "b": []},
    "options": {"return_to_end": false, "objective": "min_max", "time_limit": 2}})"),
                         p);
  ASSERT_EQ(p.num_nodes(), 2u);
  const Node& depot = p.nodes()[0];
  const Node& target = p.nodes()[1];
  EXPECT_EQ(std::make_tuple(depot.type, depot.position.x, depot.position.y, depot.position.z, depot.demand,
                            target.id, target.type, target.position.z, target.demand),
            std::make_tuple(NodeType::DEPOT, 1.5, 2.0, 0.0, 0.0, uint64_t{7}, NodeType::TARGET, 4.25, 2.5));
  ASSERT_EQ(p.agents_ordered().size(), 2u);
  const Agent& first = p.agents_ordered()[0];
  EXPECT_EQ(std::make_tuple(first.id, first.type, first.start_node, first.end_node, first.time_limit,
                            p.agents_ordered()[1].time_limit),
            std::make_tuple(uint64_t{10}, std::string("b"), uint64_t{0}, uint64_t{7}, 30.0, 0.0));
  EXPECT_EQ(p.cost_matrices(), (std::unordered_map<std::string, CostMatrix>{
                                   {"a", {{0.0, 1.0}, {1.5, 0.0}}}, {"b", {}}}));
  EXPECT_EQ(std::make_tuple(p.options().return_to_end, p.options().objective, p.options().time_limit),
            std::make_tuple(false, ObjectiveType::MinMax, 2.0));
  // No constraints: the earlier ones are replaced by empty ones.
  EXPECT_TRUE(p.assignment().allowed_types_by_node.empty());
  EXPECT_TRUE(p.same_pairs.empty());

  // Matrices given as a list are named by index; absent options take their defaults.
  const Problem listed = Load(WithTop(R"("costs": [[[0, 1], [1, 0]], [[0]]])"));
  EXPECT_EQ(listed.cost_matrices(), (std::unordered_map<std::string, CostMatrix>{
                                        {"0", {{0.0, 1.0}, {1.0, 0.0}}}, {"1", {{0.0}}}}));
  EXPECT_EQ(std::make_tuple(listed.options().return_to_end, listed.options().objective,
                            listed.options().time_limit),
            std::make_tuple(true, ObjectiveType::MinSum, 60.0));
}

// Every id field goes through the wrapping conversion, every whole-number field
// through the saturating one (both pinned value by value in model_test).
TEST(Loader, IdAndWholeNumberFieldsGoThroughTheirConversions) {
  for (const auto& [v, id] : {std::pair<std::string, uint64_t>{"-2.9", kU64Max - 1}, {"1e300", kU64Max}}) {
    const Problem p = Load(R"({"nodes": [{"id": )" + v + R"(, "x": 0, "y": 0}],
      "agents": [{"id": )" + v + R"(, "type": "a", "start_node": )" + v +
                           R"(, "end_node": )" + v + R"(, "capacity": )" + v + R"(, "max_length": )" + v +
                           R"(}],
      "constraints": [
        {"kind": "assignment", "items": [{"node": )" + v + R"(, "types": ["a"]}]},
        {"kind": "timewindow", "items": [{"end": 1, "start": 0, "node": )" + v + R"(}]},
        {"kind": "sequence", "precedence": [{"before": )" + v + R"(, "after": )" + v + "}]}]}");
    const Agent& agent = p.agents_ordered().at(0);
    const NodePair& pair = p.precedence_pairs.at(0);
    EXPECT_EQ((std::vector<uint64_t>{p.nodes()[0].id, agent.id, agent.start_node, agent.end_node,
                                     p.assignment().allowed_types_by_node.begin()->first,
                                     p.time_windows().windows_by_node.begin()->first, pair.first,
                                     pair.second}),
              std::vector<uint64_t>(8, id))
        << v;
    const double whole = v == "1e300" ? kI32Max : -2.0;
    EXPECT_EQ(std::make_pair(agent.capacity_limit, agent.time_limit), std::make_pair(whole, whole)) << v;
  }
}

TEST(Loader, DepotAndMinMaxOnlyForTheirUpperCasedSpellings) {
  const std::vector<std::pair<std::string, NodeType>> types = {
      {R"(, "type": "depot")", NodeType::DEPOT},  {R"(, "type": "Depot")", NodeType::DEPOT},
      {R"(, "type": "Depot ")", NodeType::TARGET}, {R"(, "type": "hub")", NodeType::TARGET},
      {R"(, "type": "d\u00e9p\u00f4t")", NodeType::TARGET}, {"", NodeType::TARGET},
  };
  for (const auto& [member, expected] : types) {
    EXPECT_EQ(Load(WithNode(R"({"id": 1, "x": 0, "y": 0)" + member + "}")).nodes()[0].type, expected)
        << member;
  }
  const std::vector<std::pair<std::string, ObjectiveType>> objectives = {
      {R"("objective": "min_max")", ObjectiveType::MinMax},
      {R"("objective": "MIN_MAX")", ObjectiveType::MinMax},
      {R"("objective": "Min_Max")", ObjectiveType::MinSum},
      {R"("time_limit": 5)", ObjectiveType::MinSum},
  };
  for (const auto& [member, expected] : objectives) {
    EXPECT_EQ(Load(WithTop(R"("options": {)" + member + "}")).options().objective, expected)
        << member;
  }
}

TEST(Loader, ConstraintsAccumulateLaterItemsWinAndOthersAreSkipped) {
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

}  // namespace
}  // namespace quarn
