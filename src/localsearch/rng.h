#pragma once

#include <cstdint>

namespace quarn {

// xoshiro256** seeded through splitmix64: the same seed gives the same stream on
// every platform, which the standard distributions do not promise.
class Rng {
 public:
  explicit Rng(uint64_t seed = 0) {
    for (uint64_t& word : s_) word = SplitMix(seed);
  }

  uint64_t Next() {
    const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }
  // In [0, n); 0 for n == 0. Multiply-shift: no division, bias below 2^-32 for our n.
  uint32_t Below(uint32_t n) {
    return static_cast<uint32_t>(((Next() >> 32) * static_cast<uint64_t>(n)) >> 32);
  }
  // In [0, 1), from the top 53 bits.
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

 private:
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  static uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }

  uint64_t s_[4];
};

}  // namespace quarn
