#pragma once

#include <cstdint>
#include <optional>

namespace quarn {

// What a solve tells a progress callback about itself.
struct ProgressReport {
  double elapsed = 0.0;             // seconds since the solve began
  std::optional<double> objective;  // the best so far, scored as the anytime list is
  bool improving = false;           // in the improvement phase, not the search
  uint64_t solutions = 0;           // improving solutions found so far
};

}  // namespace quarn
