#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "localsearch/local_model.h"
#include "records/stop_check.h"

namespace quarn {

// Granular neighbourhoods: per agent type, each target's k nearest targets by
// the cost of going there and back; and the nearest kAdjacentLength targets by
// any type for ruin's adjacent removals (every target on instances the exact
// search takes, so a list never grows with the square of a large instance).
// Costs from positions are searched on a grid, ring by ring, until no point
// beyond could enter a list: the lists are those of the comparison of every pair.
// `by_time`: under windows the lists rank by time as well (see Proximity).
class Neighbours {
 public:
  static constexpr size_t kAdjacentLength = 256;

  // Stops early, leaving lists unbuilt, once `stop` (when given) has expired.
  Neighbours(const LocalModel& model, int32_t k, const StopCheck* stop = nullptr, bool by_time = false);

  const std::vector<int32_t>& Near(int32_t type, int32_t v) const {
    return near_[static_cast<size_t>(type) * n_ + static_cast<size_t>(v)];
  }
  const std::vector<int32_t>& Adjacent(int32_t v) const { return adjacent_[static_cast<size_t>(v)]; }

 private:
  void BuildByPairs(const LocalModel& model, size_t near_length, const StopCheck* stop);
  void BuildByGrid(const LocalModel& model, size_t near_length, const StopCheck* stop);
  double Proximity(const LocalModel& model, int32_t type, int32_t u, int32_t v) const;

  size_t n_ = 0;
  bool by_time_ = false;
  std::vector<std::vector<int32_t>> near_;      // type-major
  std::vector<std::vector<int32_t>> adjacent_;  // by node, nearest first
};

}  // namespace quarn
