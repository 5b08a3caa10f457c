#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/objective_plugin.h"

namespace quarn {

// Min-sum objective: the cost of a solution is the total of its routes.
class MinSumObjective : public ObjectivePlugin {
 public:
  MinSumObjective() = default;

  std::string Name() const override { return "MinSumObjective"; }
  void SetEnds(const std::vector<int32_t>&) override {}
  double Evaluate(const std::vector<double>& costs) const override;
  double Combine(const Label& label, double h, int32_t remaining) const override;
};

}  // namespace quarn
