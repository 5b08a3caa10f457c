#include "model/numeric_cast.h"

#include <cmath>
#include <limits>

namespace quarn {

int32_t SaturatingToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483649.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

uint64_t WrappingToUint64(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 18446744073709551616.0) return std::numeric_limits<uint64_t>::max();
  if (value >= 0.0) return static_cast<uint64_t>(value);
  if (value <= -9223372036854775808.0) {
    return static_cast<uint64_t>(std::numeric_limits<int64_t>::min());
  }
  return static_cast<uint64_t>(static_cast<int64_t>(value));
}

}  // namespace quarn
