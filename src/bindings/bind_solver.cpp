#include "bindings/bind_solver.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <pybind11/stl.h>

#include "bindings/search_controls.h"
#include "bindings/uninitialised.h"
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
      .def_property_readonly("times", [](const Result& r) { return ToDict(r.times); })
      .def_property_readonly("durations", [](const Result& r) { return ToDict(r.durations); })
      .def_property_readonly("distances", [](const Result& r) { return ToDict(r.distances); })
      .def_property_readonly("unassigned", [](const Result& r) { return r.unassigned; })
      .def_property_readonly("unassigned_reasons",
                             [](const Result& r) {
                               py::list reasons;
                               for (const std::string& reason : r.unassigned_reasons) {
                                 reasons.append(reason.empty() ? py::object(py::none()) : py::object(py::str(reason)));
                               }
                               return reasons;
                             })
      .def_property_readonly("penalty", [](const Result& r) { return r.penalty; });
  GuardUninitialised<Result>();
}

// The solvers whose search is under way. The search calls back into Python once
// per iteration (signal handlers, lock held), and a handler, or a thread it lets
// run, that reached the same solver would reset or read its tables beneath the
// search. The lock is held whenever this set is touched.
std::unordered_set<const Solver*>& Running() {
  static std::unordered_set<const Solver*> running;
  return running;
}

Solver& Idle(Solver& solver, const char* method) {
  if (Running().count(&solver) != 0) {
    throw std::runtime_error(std::string("Solver.") + method +
                             "() called while this solver's search is running");
  }
  return solver;
}

int32_t Solve(Solver& solver, const py::object& progress) {
  Idle(solver, "solve");
  ProgressScope scope(solver, progress);
  struct Mark {
    explicit Mark(const Solver* s) : solver(s) { Running().insert(s); }
    ~Mark() { Running().erase(solver); }
    const Solver* solver;
  } mark(&solver);
  return solver.solve();
}

void BindSolverClass(py::module_& m) {
  // The calls are virtual, so a derived solver's overrides are reached from Python too.
  py::class_<Solver>(m, "Solver")
      .def(py::init([](Problem problem, const Options& options) {
             auto solver = std::make_unique<Solver>(std::move(problem), options);
             InstallInterruptCheck(*solver);
             return solver;
           }),
           py::arg("problem"), py::arg("options"))
      .def("solve", &Solve, py::arg("progress") = py::none(),
           "Run the ZEL solver. Returns 1 on success, 0 on failure.\n"
           "progress: None, or a callable given a dict (elapsed, objective, phase, solutions)\n"
           "at most ten times a second; a truthy return stops the solve as its time limit does.")
      .def("get_result", [](Solver& s) { return Idle(s, "get_result").get_result(); })
      .def("get_result_process",
           [](Solver& s) { return Idle(s, "get_result_process").get_result_process(); });
  GuardUninitialised<Solver>();
}

}  // namespace

void BindSolver(py::module_& m) {
  BindResult(m);
  BindSolverClass(m);
}

}  // namespace quarn::bindings
