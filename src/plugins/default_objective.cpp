#include "plugins/default_objective.h"

#include <algorithm>

namespace quarn {

double DefaultObjective::Evaluate(const std::vector<double>& costs) const {
  if (costs.empty()) return 0.0;
  return *std::max_element(costs.begin(), costs.end());
}

double DefaultObjective::Combine(const Label& label, double h, int32_t remaining) const {
  const double g = Evaluate(label.costs);
  if (remaining <= 0) return g;
  return std::max(g, (ActiveCostSum(label) + h) / static_cast<double>(remaining));
}

double DefaultObjective::ActiveCostSum(const Label& label) {
  const size_t n = std::min(label.costs.size(), label.finished.size());
  double active_sum = 0.0;
  for (size_t a = 0; a < n; ++a) {
    if (label.finished[a] == 0) active_sum += label.costs[a];
  }
  return active_sum;
}

}  // namespace quarn
