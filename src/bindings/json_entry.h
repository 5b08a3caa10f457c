#pragma once

#include <string>
#include <utility>
#include <vector>

#include <pybind11/pybind11.h>

#include "model/problem.h"
#include "records/result.h"

namespace quarn::bindings {

// Parses, loads, solves and answers with the result dictionary.
pybind11::dict solve_json_document(const std::string& text, double time_limit);

// The dictionary without "anytime": status, timeout, routes, statistics.
pybind11::dict build_result_dict(const Result& result, const Problem& problem, double solve_time);

// The strictly improving entries of the anytime record, measured by the sum of
// route costs when `min_sum` is set, by the largest route cost otherwise.
pybind11::list build_anytime_list(const std::vector<std::pair<double, Result>>& record,
                                  bool min_sum);

pybind11::dict solve_json_file(const std::string& input_path, double time_limit);
pybind11::dict solve_json_str(const std::string& json_str, double time_limit);

// Registers solve_json_file and solve_json_str.
void BindJsonEntryPoints(pybind11::module_& m);

}  // namespace quarn::bindings
