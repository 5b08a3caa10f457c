#pragma once

#include <pybind11/pybind11.h>

#include "model/options.h"
#include "solver/solver.h"

namespace quarn::bindings {

// Lets Ctrl-C break off a long search, and lets go of the interpreter lock while
// the improvement phase's walks run on threads of their own. The core knows nothing of Python: it calls
// the check once per iteration, and the check, run with the interpreter lock
// held, raises the pending Python exception (KeyboardInterrupt for SIGINT, or
// whatever a signal handler raised) out of the search.
void InstallInterruptCheck(Solver& solver);
// The same check, for the steps before the solver exists (reading a document).
void CheckSignals();

// Hands a Python callable (or None, for none) to the solver as its progress
// callback: it gets a dict of elapsed, objective, phase and solutions, the lock
// held; a truthy return stops the solve as its time limit does, and an exception
// it raises leaves the solve.
void InstallProgress(Solver& solver, const pybind11::object& progress);

// Installs the callable for one solve and takes it away again afterwards, so a
// solver keeps no reference to it.
class ProgressScope {
 public:
  ProgressScope(Solver& solver, const pybind11::object& progress) : solver_(solver) {
    InstallProgress(solver, progress);
  }
  ~ProgressScope() { solver_.SetProgressCallback(nullptr); }
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

 private:
  Solver& solver_;
};

}  // namespace quarn::bindings
