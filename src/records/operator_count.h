#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// What one descent operator of the improvement phase priced and applied.
struct OperatorCount {
  std::string name;
  uint64_t evaluated = 0;
  uint64_t applied = 0;
};

}  // namespace quarn
