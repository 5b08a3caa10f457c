#include "bindings/search_controls.h"

#include <cmath>

#include <pybind11/pybind11.h>

namespace quarn::bindings {

void InstallInterruptCheck(Solver& solver) {
  solver.SetInterruptCheck([] {
    // Runs the Python-level handlers of signals that arrived; -1 means one raised.
    if (PyErr_CheckSignals() != 0) throw pybind11::error_already_set();
  });
}

Options SearchOptions(const Options& options) {
  Options sound = options;
  // Any negative limit ends the search before its first expansion.
  if (std::isnan(sound.time_limit)) sound.time_limit = -1.0;
  return sound;
}

}  // namespace quarn::bindings
