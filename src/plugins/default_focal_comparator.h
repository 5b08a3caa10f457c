#pragma once

#include <string>

#include "plugins/focal_comparator_plugin.h"

namespace quarn {

// Deeper states first, then the smaller f, then (on equal f) the smaller cost sum.
class DefaultFocalComparator : public FocalComparatorPlugin {
 public:
  DefaultFocalComparator() = default;

  std::string Name() const override { return "DefaultFocalComparator"; }
  bool Compare(const FocalEntry& a, const FocalEntry& b) const override { return Before(a, b); }
  // The order itself, for callers that know the comparator and skip the virtual call.
  static bool Before(const FocalEntry& a, const FocalEntry& b) {
    if (a.visited_count != b.visited_count) return a.visited_count > b.visited_count;
    if (a.f == b.f) return a.cost_sum < b.cost_sum;
    return a.f < b.f;
  }
};

}  // namespace quarn
