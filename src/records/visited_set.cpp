#include "records/visited_set.h"

#include <stdexcept>
#include <string>

namespace quarn {

void VisitedSet::CheckCapacity(uint64_t n) {
  if (n > static_cast<uint64_t>(kCapacity)) {
    throw std::runtime_error("the solver handles at most " + std::to_string(kCapacity) +
                             " nodes, but the instance has " + std::to_string(n));
  }
}

VisitedSet::VisitedSet(int32_t n) {
  CheckCapacity(n < 0 ? 0 : static_cast<uint64_t>(n));
  size = n;
  words.fill(~uint64_t{0});
  for (int32_t i = 0; i < n; ++i) reset(i);
}

bool VisitedSet::all() const {
  if (size < 1) return true;
  for (uint64_t w : words) {
    if (w != ~uint64_t{0}) return false;
  }
  return true;
}

int32_t VisitedSet::count() const {
  if (size < 1) return 0;
  const int32_t limit = size < kCapacity ? size : kCapacity;
  int32_t n = 0;
  for (int32_t w = 0; w * 64 < limit; ++w) {
    uint64_t bits = words[static_cast<size_t>(w)];
    // Only the bits below the size count; the ones beyond it are always set.
    if (limit - w * 64 < 64) bits &= (uint64_t{1} << (limit - w * 64)) - 1;
    n += __builtin_popcountll(bits);
  }
  return n;
}

bool VisitedSet::IsSubsetOf(const VisitedSet& other) const {
  for (size_t k = 0; k < words.size(); ++k) {
    if ((words[k] & ~other.words[k]) != 0) return false;
  }
  return true;
}

}  // namespace quarn
