#pragma once

#include <string>

#include "plugins/focal_comparator_plugin.h"

namespace quarn {

// Deeper states first, then the smaller f, then (on equal f) the smaller cost sum.
class DefaultFocalComparator : public FocalComparatorPlugin {
 public:
  DefaultFocalComparator() = default;

  std::string Name() const override { return "DefaultFocalComparator"; }
  bool Compare(const FocalEntry& a, const FocalEntry& b) const override;
};

}  // namespace quarn
