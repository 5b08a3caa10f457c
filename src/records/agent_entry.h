#pragma once

#include <cstdint>

namespace quarn {

// One entry of the solver's agent table.
struct AgentEntry {
  uint32_t id = 0;            // low 32 bits of the agent id
  int32_t type = 0;           // type index; -1 when the agent has no known type
  double capacity_limit = 0.0;
  double time_limit = 0.0;    // 0 or less: no limit
};

}  // namespace quarn
