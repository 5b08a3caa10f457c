#pragma once

#include <cstdint>
#include <vector>

#include "plugins/plugin_base.h"
#include "records/label.h"

namespace quarn {

class ObjectivePlugin : public PluginBase {
 public:
  virtual void SetEnds(const std::vector<int32_t>& ends) = 0;
  // The solution cost (g) of per-agent costs.
  virtual double Evaluate(const std::vector<double>& costs) const = 0;
  // The f-value of `label` given the heuristic estimate and the unfinished agents.
  virtual double Combine(const Label& label, double h, int32_t remaining) const = 0;
};

}  // namespace quarn
