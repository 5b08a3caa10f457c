#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/result.h"

namespace quarn {

// `path` without the node at `position`.
inline std::vector<int32_t> RemovedAt(const std::vector<int32_t>& path, size_t position) {
  std::vector<int32_t> out;
  out.reserve(path.size());
  for (size_t p = 0; p < path.size(); ++p) {
    if (p != position) out.push_back(path[p]);
  }
  return out;
}

// `path` with `node` inserted before `position`.
inline std::vector<int32_t> InsertedBefore(const std::vector<int32_t>& path, size_t position,
                                           int32_t node) {
  std::vector<int32_t> out;
  out.reserve(path.size() + 1);
  for (size_t p = 0; p < path.size(); ++p) {
    if (p == position) out.push_back(node);
    out.push_back(path[p]);
  }
  if (position >= path.size()) out.push_back(node);
  return out;
}

// The cost the search reported for an agent's route (0.0 when it reported none).
// A route the post-optimizers could not validate keeps this cost, so they never
// falsify what they did not change.
inline double IncomingCost(const Result& result, int32_t agent) {
  auto it = result.times.find(agent);
  return it == result.times.end() ? 0.0 : it->second;
}

}  // namespace quarn
