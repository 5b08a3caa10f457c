#pragma once

#include <pybind11/pybind11.h>

namespace quarn::bindings {

// Registers Result and Solver, in that order.
void BindSolver(pybind11::module_& m);

}  // namespace quarn::bindings
