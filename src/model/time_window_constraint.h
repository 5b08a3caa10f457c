#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>

namespace quarn {

// Time window (start, end) of each constrained node id; neither bound is checked.
struct TimeWindowConstraint {
  std::unordered_map<uint64_t, std::pair<double, double>> windows_by_node;

  void set_timewindow(uint64_t node, double start, double end);
};

}  // namespace quarn
