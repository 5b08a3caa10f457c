#pragma once

#include <cstdint>

namespace quarn {

struct OpenEntry {
  double f = 0.0;
  int32_t id = 0;
};

// Open list order: ascending f, then ascending id.
struct OpenEntryLess {
  bool operator()(const OpenEntry& a, const OpenEntry& b) const {
    if (a.f != b.f) return a.f < b.f;
    return a.id < b.id;
  }
};

struct FocalEntry {
  int32_t id = 0;
  int32_t visited_count = 0;
  int32_t remaining = 0;
  double f = 0.0;
  double cost_sum = 0.0;
};

}  // namespace quarn
