#pragma once

#include <cstdint>

namespace quarn {

// A time-window-aware edge between two nodes (u the larger index, v the smaller).
struct MstEdge {
  uint32_t u = 0;
  uint32_t v = 0;
  double weight = 0.0;
};

}  // namespace quarn
