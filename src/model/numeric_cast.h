#pragma once

#include <cstdint>

namespace quarn {

// Truncates toward zero where the value fits, saturates at the limits where it
// does not; NaN gives 0. A plain cast would be undefined behaviour out of range.
int32_t SaturatingToInt32(double value);

// For ids given as floating values: truncates toward zero; a negative value wraps
// like the negative integer it truncates to (-1.5 gives 2^64 - 1); NaN gives 0.
uint64_t WrappingToUint64(double value);

}  // namespace quarn
