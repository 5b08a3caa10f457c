#pragma once

#include <array>
#include <cstdint>

namespace quarn {

// A fixed set of up to 256 node indices. The bits at and beyond `size` are set,
// so `all` is a plain comparison of the four words.
struct VisitedSet {
  static constexpr int32_t kCapacity = 256;

  std::array<uint64_t, 4> words{};
  int32_t size = 0;

  VisitedSet() = default;
  // Throws std::runtime_error when n exceeds the capacity.
  explicit VisitedSet(int32_t n);
  // Throws std::runtime_error naming both numbers when n nodes do not fit.
  static void CheckCapacity(uint64_t n);

  bool test(int32_t i) const { return (words[i >> 6] >> (i & 63)) & 1u; }
  void set(int32_t i) { words[i >> 6] |= uint64_t{1} << (i & 63); }
  void reset(int32_t i) { words[i >> 6] &= ~(uint64_t{1} << (i & 63)); }
  bool all() const;
  // Number of set bits among the first `size`.
  int32_t count() const;
  // True when every bit set here is also set in `other` (all 256 bits compared).
  bool IsSubsetOf(const VisitedSet& other) const;
};

}  // namespace quarn
