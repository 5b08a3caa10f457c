#include "model/assignment_constraint.h"

namespace quarn {

void AssignmentConstraint::set_assignment(uint64_t node, const std::vector<std::string>& types) {
  allowed_types_by_node[node] = types;
}

}  // namespace quarn
