#pragma once

#include <cstdint>

namespace quarn {

// Figures of the instance and of the last solution, returned by Solver::GetBounds.
struct InstanceStats {
  int32_t solution_found = 0;
  int32_t num_points = -1;
  int32_t num_agents = -1;
  int32_t type1_agents = -1;
  int32_t type0_agents = -1;
  int32_t points_open_to_types_0_and_1 = -1;
  int32_t points_open_to_type_0_only = -1;
  double cost_sum = -1.0;
  double max_cost = -1.0;
  double last_update_time = -1.0;
  double bound_ratio = -1.0;  // incumbent over the smallest open f, stored between passes
};

}  // namespace quarn
