#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>


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

}  // namespace quarn
