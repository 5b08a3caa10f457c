#include "bindings/bind_solver.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include <pybind11/stl.h>

#include "bindings/search_controls.h"
#include "records/result.h"
#include "solver/solver.h"

namespace py = pybind11;

namespace quarn::bindings {
namespace {

// Keys ascending, whatever order the hash map iterates in.
template <typename Map>
std::vector<typename Map::key_type> SortedKeys(const Map& map) {
  std::vector<typename Map::key_type> keys;
  keys.reserve(map.size());
  for (const auto& entry : map) keys.push_back(entry.first);
  std::sort(keys.begin(), keys.end());
  return keys;
}

template <typename Map>
py::dict ToDict(const Map& map) {
  py::dict out;
  for (const auto& key : SortedKeys(map)) out[py::cast(key)] = py::cast(map.at(key));
  return out;
}

void BindResult(py::module_& m) {
  py::class_<Result>(m, "Result")
      .def_property_readonly("n_generated", [](const Result& r) { return r.n_generated; })
      .def_property_readonly("n_expanded", [](const Result& r) { return r.n_expanded; })
      .def_property_readonly("timeout", [](const Result& r) { return r.timeout; })
      .def_property_readonly("last_update_time",
                             [](const Result& r) { return r.last_update_time; })
      .def_property_readonly("paths", [](const Result& r) { return ToDict(r.paths); })
      .def_property_readonly("times", [](const Result& r) { return ToDict(r.times); });
}

void BindSolverClass(py::module_& m) {
  // Member pointers to virtual operations dispatch through the vtable, so a
  // derived solver's overrides are reached from Python too.
  py::class_<Solver>(m, "Solver")
      .def(py::init([](Problem problem, const Options& options) {
             auto solver = std::make_unique<Solver>(std::move(problem), options);
             InstallInterruptCheck(*solver);
             return solver;
           }),
           py::arg("problem"), py::arg("options"))
      .def("solve", &Solver::solve, "Run the ZEL solver. Returns 1 on success, 0 on failure.")
      .def("get_result", &Solver::get_result)
      .def("get_result_process", &Solver::get_result_process);
}

}  // namespace

void BindSolver(py::module_& m) {
  BindResult(m);
  BindSolverClass(m);
}

}  // namespace quarn::bindings
