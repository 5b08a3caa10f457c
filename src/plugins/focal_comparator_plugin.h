#pragma once

#include "plugins/plugin_base.h"
#include "records/list_entries.h"

namespace quarn {

class FocalComparatorPlugin : public PluginBase {
 public:
  // True when `a` goes before `b` in the focal list.
  virtual bool Compare(const FocalEntry& a, const FocalEntry& b) const = 0;
};

}  // namespace quarn
