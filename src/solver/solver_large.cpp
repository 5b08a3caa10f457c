#include "solver/solver.h"

namespace quarn {

bool Solver::BeyondSearch() const {
  return improve_ && points_.size() > static_cast<size_t>(VisitedSet::kCapacity);
}

// The phase alone, under the solve's clock and controls, for the whole limit;
// the search's counters stay 0 and the records keep their shape.
int32_t Solver::SolveByPhase() {
  ResetSearch();
  ChooseFastPaths();
  stop_.SetDeadline([this] { return timer_.GetDuration(); }, time_limit_);
  timer_.Start();
  RunImprovement();
  if (found_ == 0) return 0;
  if (!name_.empty()) WritePathDump();
  return 1;
}

}  // namespace quarn
