#pragma once

#include <cstdint>

// A small generator of our own, so the instances do not depend on how a
// standard library implements its distributions.
class BenchRandom {
 public:
  explicit BenchRandom(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  int Between(int low, int high) { return low + static_cast<int>(Next() % (high - low + 1)); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }

 private:
  uint64_t state_;
};
