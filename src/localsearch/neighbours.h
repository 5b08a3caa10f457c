#pragma once

#include <cstdint>
#include <vector>

#include "localsearch/local_model.h"

namespace quarn {

// Granular neighbourhoods: per agent type, each target's k nearest targets by
// the cost of going there and back; and one full ordering of all targets by
// nearness for ruin's adjacent removals.
class Neighbours {
 public:
  Neighbours(const LocalModel& model, int32_t k);

  const std::vector<int32_t>& Near(int32_t type, int32_t v) const {
    return near_[static_cast<size_t>(type) * n_ + static_cast<size_t>(v)];
  }
  const std::vector<int32_t>& Adjacent(int32_t v) const { return adjacent_[static_cast<size_t>(v)]; }

 private:
  size_t n_ = 0;
  std::vector<std::vector<int32_t>> near_;      // type-major
  std::vector<std::vector<int32_t>> adjacent_;  // by node, every other target
};

}  // namespace quarn
