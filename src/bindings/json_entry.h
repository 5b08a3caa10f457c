#pragma once

#include <string>
#include <utility>
#include <vector>

#include <pybind11/pybind11.h>

#include "model/problem.h"
#include "records/result.h"

namespace quarn::bindings {

// Registers solve_json_file and solve_json_str.
void BindJsonEntryPoints(pybind11::module_& m);

}  // namespace quarn::bindings
