#include "io/json_loader.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/numeric_cast.h"

namespace quarn {
namespace {

using nlohmann::json;

// Node ids, agent ids and depots. Floating values are converted here because the
// library's own cast is undefined for negative or huge values; integers keep the
// library's conversion (a negative one wraps), other types raise its type error.
uint64_t ReadId(const json& value) {
  if (value.is_number_float()) return WrappingToUint64(value.get<double>());
  return value.get<uint64_t>();
}

// A number truncated to a signed 32-bit integer, saturating out of range. The
// library's int conversion would also take a boolean, so that is refused here
// with the library's own error.
double ReadWhole(const json& value) {
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (value.is_number_float()) return SaturatingToInt32(value.get<double>());
  if (value.is_number_unsigned()) {
    return static_cast<double>(std::min<uint64_t>(value.get<uint64_t>(), kMax));
  }
  if (value.is_number_integer()) {
    return static_cast<double>(std::clamp(value.get<int64_t>(), kMin, kMax));
  }
  const std::string message = std::string("type must be number, but is ") + value.type_name();
  throw json::type_error::create(302, message, &value);
}

double OptionalWhole(const json& object, const char* key) {
  const auto found = object.find(key);
  return found == object.end() ? 0.0 : ReadWhole(*found);
}

// Absent and null alike mean none.
std::optional<double> OptionalNumber(const json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || found->is_null()) return std::nullopt;
  return found->get<double>();
}

NodeType ParseNodeType(std::string text) {
  // Through unsigned char: toupper of a negative char (any non-ASCII byte) is undefined.
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text == "DEPOT" ? NodeType::DEPOT : NodeType::TARGET;
}

ObjectiveType ParseObjective(const std::string& text) {
  return text == "min_max" || text == "MIN_MAX" ? ObjectiveType::MinMax : ObjectiveType::MinSum;
}

Minimise ParseMinimise(const std::string& text) {
  if (text == "duration") return Minimise::Duration;
  if (text == "distance") return Minimise::Distance;
  throw std::invalid_argument("the option \"minimise\" is \"duration\" or \"distance\", not \"" +
                              text + "\"");
}

Node ReadNode(const json& item) {
  Node node;
  node.id = ReadId(item.at("id"));
  node.position.x = item.at("x").get<double>();
  node.position.y = item.at("y").get<double>();
  node.position.z = item.value("z", 0.0);
  if (item.contains("type")) node.type = ParseNodeType(item.at("type").get<std::string>());
  node.demand = item.value("demand", 0.0);
  node.service = item.value("service", 0.0);
  node.penalty = OptionalNumber(item, "penalty");
  return node;
}

Agent ReadAgent(const json& item) {
  Agent agent;
  agent.id = ReadId(item.at("id"));
  agent.type = item.at("type").get<std::string>();
  agent.start_node = ReadId(item.at("start_node"));
  agent.end_node = ReadId(item.at("end_node"));
  agent.capacity_limit = OptionalWhole(item, "capacity");
  agent.time_limit = OptionalWhole(item, "max_length");
  return agent;
}

// Everything the constraint list yields; installed into the Problem in one step.
struct ConstraintSet {
  AssignmentConstraint assignment;
  TimeWindowConstraint time_windows;
  std::vector<NodePair> precedence_pairs;
  std::vector<NodePair> same_pairs;
  std::vector<NodePair> diff_pairs;
};

void ReadAssignments(const json& items, ConstraintSet& out) {
  for (const json& item : items) {
    const uint64_t node = ReadId(item.at("node"));
    out.assignment.set_assignment(node, item.at("types").get<std::vector<std::string>>());
  }
}

void ReadTimeWindows(const json& items, ConstraintSet& out) {
  for (const json& item : items) {
    // This key order decides which missing key an incomplete item reports.
    const double end = item.at("end").get<double>();
    const double start = item.at("start").get<double>();
    const uint64_t node = ReadId(item.at("node"));
    out.time_windows.set_timewindow(node, start, end);
  }
}

void ReadSequence(const json& items, ConstraintSet& out) {
  for (const json& item : items) {
    const uint64_t before = ReadId(item.at("before"));
    const uint64_t after = ReadId(item.at("after"));
    const std::string type = item.value("type", std::string());
    auto& pairs = type == "same" ? out.same_pairs
                  : type == "diff" ? out.diff_pairs
                                   : out.precedence_pairs;
    pairs.emplace_back(before, after);
  }
}

// Unknown kinds and constraints without their list key are skipped silently.
void ReadConstraint(const json& constraint, ConstraintSet& out) {
  const std::string kind = constraint.at("kind").get<std::string>();
  if (kind == "assignment" && constraint.contains("items")) {
    ReadAssignments(constraint.at("items"), out);
  } else if (kind == "timewindow" && constraint.contains("items")) {
    ReadTimeWindows(constraint.at("items"), out);
  } else if (kind == "sequence" && constraint.contains("precedence")) {
    ReadSequence(constraint.at("precedence"), out);
  }
}

void InstallConstraints(const ConstraintSet& constraints, Problem& problem) {
  problem.set_assignment_constraint(constraints.assignment);
  problem.set_timewindow_constraint(constraints.time_windows);
  problem.precedence_pairs = constraints.precedence_pairs;
  problem.same_pairs = constraints.same_pairs;
  problem.diff_pairs = constraints.diff_pairs;
}

void ReadOptions(const json& object, Options& options) {
  options.return_to_end = object.value("return_to_end", true);
  options.objective = ParseObjective(object.value("objective", std::string("min_sum")));
  options.time_limit = object.value("time_limit", 60.0);
  options.memory_limit = object.value("memory_limit", uint64_t{0});
  options.improve = object.value("improve", false);
  options.seed = object.value("seed", uint64_t{0});
  options.max_iterations = object.value("max_iterations", uint64_t{0});
  options.improve_stall = object.value("improve_stall", uint64_t{0});
  options.max_expansions = object.value("max_expansions", uint64_t{0});
  options.threads = object.value("threads", int32_t{1});
  options.missing_cost = object.value("missing_cost", kMissingCost);
  options.quiet = object.value("quiet", false);
  options.enforce_capacities = object.value("enforce_capacities", false);
  options.minimise = ParseMinimise(object.value("minimise", std::string("duration")));
  options.default_penalty = OptionalNumber(object, "default_penalty");
  options.enforce_sequence = object.value("enforce_sequence", false);
}

// {"metric": ..., "speed": ...}: costs from the positions; the speed defaults to 1.
void ReadCostRule(const std::string& agent_type, const json& rule, Problem& problem) {
  problem.set_cost_metric(agent_type, rule.at("metric").get<std::string>(), rule.value("speed", 1.0));
}

}  // namespace

void load_problem_from_json(const nlohmann::json& doc, Problem& problem) {
  for (const json& item : doc.at("nodes")) problem.add_node(ReadNode(item));
  for (const json& item : doc.at("agents")) {
    const Agent agent = ReadAgent(item);
    problem.add_agent(agent, agent.id);
  }
  if (doc.contains("costs")) {
    // items() names array elements by their decimal index, so an array of
    // matrices is stored under the type names "0", "1", ...
    for (const auto& member : doc.at("costs").items()) {
      if (member.value().is_object()) {
        ReadCostRule(member.key(), member.value(), problem);
      } else {
        problem.set_cost_matrix(member.key(), member.value().get<CostMatrix>());
      }
    }
  }
  if (doc.contains("distances")) {
    for (const auto& member : doc.at("distances").items()) {
      problem.set_distance_matrix(member.key(), member.value().get<CostMatrix>());
    }
  }
  ConstraintSet constraints;
  if (doc.contains("constraints")) {
    for (const json& constraint : doc.at("constraints")) ReadConstraint(constraint, constraints);
  }
  InstallConstraints(constraints, problem);
  if (doc.contains("options")) ReadOptions(doc.at("options"), problem.options());
}

}  // namespace quarn
