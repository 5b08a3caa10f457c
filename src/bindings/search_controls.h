#pragma once

#include "model/options.h"
#include "solver/solver.h"

namespace quarn::bindings {

// Lets Ctrl-C break off a long search. The core knows nothing of Python: it calls
// the check once per iteration, and the check, run with the interpreter lock
// held, raises the pending Python exception (KeyboardInterrupt for SIGINT, or
// whatever a signal handler raised) out of the search.
void InstallInterruptCheck(Solver& solver);

}  // namespace quarn::bindings
