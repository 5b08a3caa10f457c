#include "plugins/default_focal_comparator.h"

namespace quarn {

bool DefaultFocalComparator::Compare(const FocalEntry& a, const FocalEntry& b) const {
  if (a.visited_count != b.visited_count) return a.visited_count > b.visited_count;
  if (a.f == b.f) return a.cost_sum < b.cost_sum;
  return a.f < b.f;
}

}  // namespace quarn
