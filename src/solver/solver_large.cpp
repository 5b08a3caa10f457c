#include "solver/solver.h"

namespace quarn {

bool Solver::BeyondSearch() const {
  return improve_ && points_.size() > static_cast<size_t>(VisitedSet::kCapacity);
}

}  // namespace quarn
