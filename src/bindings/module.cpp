#include <pybind11/pybind11.h>

#include "bindings/bind_model.h"
#include "bindings/bind_solver.h"
#include "bindings/json_entry.h"

PYBIND11_MODULE(_pyzel_core, m) {
  m.doc() = "ZEL MTSP Solver \u2014 C++ core bindings";
  quarn::bindings::BindModel(m);
  quarn::bindings::BindSolver(m);
  quarn::bindings::BindJsonEntryPoints(m);
}
