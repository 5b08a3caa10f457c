#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quarn {

// Time windows (earliest, latest) by node index.
using TimeWindowMap = std::unordered_map<int32_t, std::pair<double, double>>;

// Arrival at time `t` at a node with the window (earliest, latest): `out` is the
// time after waiting for the window to open. False when the window has already
// closed (arriving exactly at its latest time is allowed).
inline bool ApplyWindowBounds(const std::pair<double, double>& window, double t, double& out) {
  out = t;
  if (t > window.second) return false;
  if (window.first > t) out = window.first;
  return true;
}

// The same rule by node; a node without a window takes any time unchanged.
bool ApplyWindow(const TimeWindowMap& windows, int32_t node, double t, double& out);

// The windows of a map in an array by node index, for lookups in hot loops.
// Apply(node, ...) equals ApplyWindow(map, node, ...) for every node.
class DenseTimeWindows {
 public:
  DenseTimeWindows() = default;
  explicit DenseTimeWindows(const TimeWindowMap& windows);

  bool Apply(int32_t node, double t, double& out) const {
    if (node >= 0 && static_cast<size_t>(node) < present_.size()) {
      if (present_[static_cast<size_t>(node)] == 0) {
        out = t;
        return true;
      }
      return ApplyWindowBounds(windows_[static_cast<size_t>(node)], t, out);
    }
    return ApplyWindow(others_, node, t, out);
  }
  // The node's (earliest, latest), unbounded without a window.
  std::pair<double, double> Bounds(int32_t node) const {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    if (node >= 0 && static_cast<size_t>(node) < present_.size()) {
      return present_[static_cast<size_t>(node)] != 0 ? windows_[static_cast<size_t>(node)]
                                                       : std::pair<double, double>{-kInf, kInf};
    }
    auto it = others_.find(node);
    return it != others_.end() ? it->second : std::pair<double, double>{-kInf, kInf};
  }

 private:
  std::vector<uint8_t> present_;
  std::vector<std::pair<double, double>> windows_;
  TimeWindowMap others_;  // keys too large or negative for the array
};

}  // namespace quarn
