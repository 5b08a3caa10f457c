#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/result.h"

namespace quarn {

// One agent's route while it is being improved.
struct WorkingRoute {
  int32_t agent = 0;
  std::vector<int32_t> path;
  double cost = 0.0;  // arrival time at the last node; 0.0 for an invalid route
  // False while the path is the incoming one and failed validation; such a
  // route is written back with the cost the search gave it.
  bool valid = true;
};

// The routes of agents 0 .. num_agents-1 of `result`, a missing one empty; the
// costs are left for the caller to evaluate.
std::vector<WorkingRoute> LoadRoutes(const Result& result, size_t num_agents);
// Replaces the routes of `result` (its counters stay as they are).
void WriteBack(const std::vector<WorkingRoute>& routes, Result& result);

}  // namespace quarn
