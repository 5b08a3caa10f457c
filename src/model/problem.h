#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/agent.h"
#include "model/assignment_constraint.h"
#include "model/cost_rule.h"
#include "model/diagnostics.h"
#include "model/node.h"
#include "model/options.h"
#include "model/time_window_constraint.h"

namespace quarn {

using CostMatrix = std::vector<std::vector<double>>;
using NodePair = std::pair<uint64_t, uint64_t>;

// An MTSP instance as the caller builds it. A plain value type: the solver takes a copy.
//
// Nodes and ordered agents live in deques, whose elements never move on append,
// so the views handed out by nodes() and agents_ordered() stay valid (and live)
// while more nodes and agents are added.
class Problem {
 public:
  void add_node(const Node& node);
  void add_agent(const Agent& agent, uint64_t id);
  // A type's costs come from a matrix or from a rule over the positions; the
  // later call of the two replaces the earlier.
  void set_cost_matrix(const std::string& agent_type, const CostMatrix& matrix);
  void set_cost_metric(const std::string& agent_type, const std::string& metric, double speed = 1.0);
  // Distances beside the durations; a type without one measures distance by its durations.
  void set_distance_matrix(const std::string& agent_type, const CostMatrix& matrix);
  void set_assignment_constraint(const AssignmentConstraint& constraint);
  void set_timewindow_constraint(const TimeWindowConstraint& constraint);

  Options& options() { return options_; }
  const Options& options() const { return options_; }
  const std::deque<Node>& nodes() const { return nodes_; }
  const std::deque<Agent>& agents_ordered() const { return agents_ordered_; }

  // Type indices allowed at a node, ascending and without duplicates. A node
  // without an assignment entry allows every known type, with a warning unless
  // the options (or the given diagnostics) are quiet.
  std::vector<int32_t> allowed_types(uint64_t node_id) const {
    return allowed_types(node_id, Diagnostics(options_.quiet));
  }
  std::vector<int32_t> allowed_types(uint64_t node_id, const Diagnostics& diagnostics) const;

  const std::unordered_map<uint64_t, Agent>& agents_by_id() const { return agents_by_id_; }
  uint64_t num_agents() const { return num_agents_; }
  uint64_t num_nodes() const { return num_nodes_; }
  const std::unordered_map<std::string, CostMatrix>& cost_matrices() const { return cost_matrices_; }
  const std::unordered_map<std::string, CostRule>& cost_rules() const { return cost_rules_; }
  const std::unordered_map<std::string, CostMatrix>& distance_matrices() const {
    return distance_matrices_;
  }
  const AssignmentConstraint& assignment() const { return assignment_; }
  const TimeWindowConstraint& time_windows() const { return time_windows_; }
  const std::unordered_map<uint64_t, int32_t>& agent_index_by_id() const { return agent_index_by_id_; }
  const std::unordered_map<std::string, int32_t>& type_index_by_name() const { return type_index_by_name_; }
  const std::vector<std::string>& type_names() const { return type_names_; }
  const std::unordered_map<uint64_t, int32_t>& agent_type_index_by_id() const {
    return agent_type_index_by_id_;
  }

  // Recorded from instance documents; read only with Options::enforce_sequence.
  std::vector<NodePair> precedence_pairs;
  std::vector<NodePair> same_pairs;
  std::vector<NodePair> diff_pairs;

 private:
  std::deque<Node> nodes_;
  std::unordered_map<uint64_t, Agent> agents_by_id_;
  uint64_t num_agents_ = 0;
  uint64_t num_nodes_ = 0;
  std::unordered_map<std::string, CostMatrix> cost_matrices_;
  AssignmentConstraint assignment_;
  TimeWindowConstraint time_windows_;
  Options options_;
  std::deque<Agent> agents_ordered_;
  std::unordered_map<uint64_t, int32_t> agent_index_by_id_;
  std::unordered_map<std::string, int32_t> type_index_by_name_;
  std::vector<std::string> type_names_;
  std::unordered_map<uint64_t, int32_t> agent_type_index_by_id_;
  std::unordered_map<std::string, CostMatrix> distance_matrices_;
  std::unordered_map<std::string, CostRule> cost_rules_;
};

}  // namespace quarn
