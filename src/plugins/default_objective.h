#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/objective_plugin.h"

namespace quarn {

// Min-max objective: the cost of a solution is its longest route.
class DefaultObjective : public ObjectivePlugin {
 public:
  DefaultObjective() = default;

  std::string Name() const override { return "DefaultObjective"; }
  void SetEnds(const std::vector<int32_t>& ends) override { ends_ = ends; }
  // The largest cost; 0.0 when there are none.
  double Evaluate(const std::vector<double>& costs) const override;
  // The longer of the longest route so far and the unfinished agents' average
  // final cost if they shared the remaining work h.
  double Combine(const Label& label, double h, int32_t remaining) const override;
  // The summed costs of the unfinished agents, the share Combine spreads h over.
  static double ActiveCostSum(const Label& label);

 private:
  std::vector<int32_t> ends_;  // kept for the solver's hand-over; not read
};

}  // namespace quarn
