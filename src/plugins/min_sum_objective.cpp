#include "plugins/min_sum_objective.h"

namespace quarn {

double MinSumObjective::Evaluate(const std::vector<double>& costs) const {
  double sum = 0.0;
  for (double c : costs) sum += c;
  return sum;
}

double MinSumObjective::Combine(const Label& label, double h, int32_t) const {
  return Evaluate(label.costs) + h;
}

}  // namespace quarn
