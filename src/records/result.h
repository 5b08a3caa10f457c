#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace quarn {

// The last solution found and the counters of the search.
struct Result {
  std::unordered_map<int32_t, std::vector<int32_t>> paths;  // agent index -> node indices
  std::unordered_map<int32_t, double> times;                // agent index -> route cost
  int32_t n_generated = 0;
  int32_t n_expanded = 0;
  bool timeout = false;
  double last_update_time = 0.0;
};

}  // namespace quarn
