#pragma once

#include <pybind11/pybind11.h>

namespace quarn::bindings {

// Registers ObjectiveType, NodeType, Position, Node, Agent, Options,
// AssignmentConstraint, TimeWindowConstraint and Problem, in that order.
void BindModel(pybind11::module_& m);

}  // namespace quarn::bindings
