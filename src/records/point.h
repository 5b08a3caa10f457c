#pragma once

#include <cstdint>
#include <vector>

namespace quarn {

// One entry of the solver's node table.
struct Point {
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;
  uint32_t id = 0;             // low 32 bits of the node id
  std::vector<int32_t> types;  // agent-type indices allowed here, ascending, unique
  double demand = 0.0;         // read only where capacities are enforced
};

}  // namespace quarn
