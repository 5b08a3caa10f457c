#include "bindings/search_controls.h"

#include <pybind11/pybind11.h>

namespace quarn::bindings {

void InstallInterruptCheck(Solver& solver) {
  solver.SetInterruptCheck([] {
    // Runs the Python-level handlers of signals that arrived; -1 means one raised.
    if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
  });
}

}  // namespace quarn::bindings
