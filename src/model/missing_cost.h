#pragma once

namespace quarn {

// The cost that marks a missing arc: a component at or above it is no arc.
constexpr double kMissingCost = 9999.0;

}  // namespace quarn
