#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace quarn {

// Which agent types may visit a node; a node without an entry is unconstrained.
struct AssignmentConstraint {
  std::unordered_map<uint64_t, std::vector<std::string>> allowed_types_by_node;

  void set_assignment(uint64_t node, const std::vector<std::string>& types);
};

}  // namespace quarn
