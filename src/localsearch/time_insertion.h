#pragma once

#include <cstdint>
#include <vector>

#include "localsearch/neighbours.h"
#include "localsearch/objective.h"
#include "localsearch/solution.h"
#include "records/stop_check.h"

namespace quarn {

// The order a first pass under windows inserts in: by latest start, the earliest
// start breaking ties, and targets without a window last, farthest from the
// depots first. Routes then grow forward in time, each target mostly appended
// where the clock already is, which keeps room for the ones that close later.
std::vector<int32_t> TimeOrder(const LocalModel& model, std::vector<int32_t> targets,
                               const std::vector<double>& depot_distance);

// Inserts the unassigned targets in TimeOrder, each at its cheapest spot (its
// NearInsertion spot when `neighbours` is given), as far as the rules in force
// allow. Ends early, with targets left out, once `stop` (when given) has expired.
void TimeOrderedInsertion(LsSolution& s, const LsObjective& objective, const Neighbours* neighbours,
                          const std::vector<double>& depot_distance, const StopCheck* stop = nullptr);

}  // namespace quarn
