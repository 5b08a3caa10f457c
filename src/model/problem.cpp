#include "model/problem.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

namespace quarn {

void Problem::add_node(const Node& node) {
  nodes_.push_back(node);
  num_nodes_ = nodes_.size();
}

void Problem::add_agent(const Agent& agent, uint64_t id) {
  auto known = type_index_by_name_.find(agent.type);
  int32_t type_index = 0;
  if (known == type_index_by_name_.end()) {
    type_index = static_cast<int32_t>(type_names_.size());
    type_index_by_name_.emplace(agent.type, type_index);
    type_names_.push_back(agent.type);
  } else {
    type_index = known->second;
  }
  agent_type_index_by_id_[id] = type_index;
  agent_index_by_id_[id] = static_cast<int32_t>(agents_ordered_.size());
  agents_ordered_.push_back(agent);
  agents_by_id_[id] = agent;
  num_agents_ = agents_by_id_.size();
}

namespace {

// A JSON document cannot hold NaN or an infinity, and its reader refuses them; a
// matrix built in code is held to the same numbers, so no route costs -inf.
void CheckFinite(const char* what, const std::string& agent_type, const CostMatrix& matrix) {
  for (size_t i = 0; i < matrix.size(); ++i) {
    for (size_t j = 0; j < matrix[i].size(); ++j) {
      if (std::isfinite(matrix[i][j])) continue;
      std::ostringstream message;
      message << what << " matrix of type '" << agent_type << "': the " << what
              << " from node index " << i << " to " << j << " is " << matrix[i][j]
              << ", not a finite number";
      throw std::invalid_argument(message.str());
    }
  }
}

}  // namespace

void Problem::set_cost_matrix(const std::string& agent_type, const CostMatrix& matrix) {
  CheckFinite("cost", agent_type, matrix);
  cost_matrices_[agent_type] = matrix;
  cost_rules_.erase(agent_type);
}

void Problem::set_cost_metric(const std::string& agent_type, const std::string& metric, double speed) {
  cost_rules_[agent_type] = MakeCostRule(agent_type, metric, speed);
  cost_matrices_.erase(agent_type);
}

void Problem::set_distance_matrix(const std::string& agent_type, const CostMatrix& matrix) {
  CheckFinite("distance", agent_type, matrix);
  distance_matrices_[agent_type] = matrix;
}

void Problem::set_assignment_constraint(const AssignmentConstraint& constraint) {
  assignment_ = constraint;
}

void Problem::set_timewindow_constraint(const TimeWindowConstraint& constraint) {
  time_windows_ = constraint;
}

std::vector<int32_t> Problem::allowed_types(uint64_t node_id,
                                            const Diagnostics& diagnostics) const {
  std::vector<int32_t> types;
  auto entry = assignment_.allowed_types_by_node.find(node_id);
  if (entry != assignment_.allowed_types_by_node.end()) {
    for (const std::string& name : entry->second) {
      auto known = type_index_by_name_.find(name);
      if (known != type_index_by_name_.end()) types.push_back(known->second);
    }
  } else {
    diagnostics.Err("[warning] node ", node_id, " has no assignment constraint; allowing all types");
    for (const auto& named : type_index_by_name_) types.push_back(named.second);
  }
  std::sort(types.begin(), types.end());
  types.erase(std::unique(types.begin(), types.end()), types.end());
  return types;
}

}  // namespace quarn
