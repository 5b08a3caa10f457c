#pragma once

namespace quarn {

// The default of Options::missing_cost: an arc cost at or above the threshold is no arc.
constexpr double kMissingCost = 9999.0;

}  // namespace quarn
