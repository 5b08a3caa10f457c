#include "bindings/search_controls.h"

#include <pybind11/pybind11.h>

namespace quarn::bindings {

void CheckSignals() {
  // Runs the Python-level handlers of signals that arrived; -1 means one raised.
  if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
}

void InstallInterruptCheck(Solver& solver) {
  solver.SetInterruptCheck(CheckSignals);
  // The phase's walks touch no Python object: other Python threads run while the
  // calling thread waits for them.
  solver.SetBlockingSection([](const std::function<void()>& wait) {
    pybind11::gil_scoped_release release;
    wait();
  });
}

void InstallProgress(Solver& solver, const pybind11::object& progress) {
  namespace py = pybind11;
  if (progress.is_none()) {
    solver.SetProgressCallback(nullptr);
    return;
  }
  solver.SetProgressCallback([progress](const ProgressReport& report) {
    py::dict state;
    state["elapsed"] = report.elapsed;
    state["objective"] = report.objective ? py::object(py::float_(*report.objective)) : py::none();
    state["phase"] = report.improving ? "improve" : "search";
    state["solutions"] = report.solutions;
    const py::object answer = progress(state);
    const int truthy = PyObject_IsTrue(answer.ptr());
    if (truthy < 0) throw py::error_already_set();
    return truthy == 1;
  });
}

}  // namespace quarn::bindings
