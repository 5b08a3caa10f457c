#pragma once

#include <cstdint>
#include <vector>

#include "plugins/plugin_base.h"
#include "records/label.h"

namespace quarn {

class ExpansionPlugin : public PluginBase {
 public:
  virtual void SetEnds(const std::vector<int32_t>& ends) = 0;
  // The one agent moved from `label`, or -1 when there is none.
  virtual int32_t SelectAgent(const Label& label) const = 0;
};

}  // namespace quarn
