#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>

namespace quarn {

// Time windows (earliest, latest) by node index.
using TimeWindowMap = std::unordered_map<int32_t, std::pair<double, double>>;

// Arrival at `node` at time `t`: `out` is the time after waiting for the window
// to open. False when the window has already closed (arriving exactly at its
// latest time is allowed). A node without a window takes any time unchanged.
bool ApplyWindow(const TimeWindowMap& windows, int32_t node, double t, double& out);

}  // namespace quarn
