#include "records/time_window_map.h"

#include <algorithm>

namespace quarn {
namespace {

// Node indices of a search stay below 256; anything far beyond is kept in a map.
constexpr int32_t kDenseLimit = 1 << 16;

}  // namespace

bool ApplyWindow(const TimeWindowMap& windows, int32_t node, double t, double& out) {
  auto it = windows.find(node);
  if (it == windows.end()) {
    out = t;
    return true;
  }
  return ApplyWindowBounds(it->second, t, out);
}

DenseTimeWindows::DenseTimeWindows(const TimeWindowMap& windows) {
  int32_t top = -1;
  for (const auto& entry : windows) {
    if (entry.first < kDenseLimit) top = std::max(top, entry.first);
  }
  present_.assign(static_cast<size_t>(top + 1), 0);
  windows_.assign(static_cast<size_t>(top + 1), {0.0, 0.0});
  for (const auto& [node, window] : windows) {
    if (node >= 0 && node <= top) {
      present_[static_cast<size_t>(node)] = 1;
      windows_[static_cast<size_t>(node)] = window;
    } else {
      others_.emplace(node, window);
    }
  }
}

}  // namespace quarn
