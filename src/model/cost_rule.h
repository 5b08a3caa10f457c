#pragma once

#include <cmath>
#include <string>

namespace quarn {

// How a type's costs follow from the nodes' plane positions, instead of a matrix.
enum class Metric { kEuclidean, kRounded, kAtt };

struct CostRule {
  Metric metric = Metric::kEuclidean;
  double speed = 1.0;
};

// The rule named "euclidean", "rounded" or "att" at `speed`; std::invalid_argument
// naming `agent_type` for any other name or a speed that is not a finite number > 0.
CostRule MakeCostRule(const std::string& agent_type, const std::string& metric, double speed);

// The metric's distance over the offsets (dx, dy), divided by the speed. Inline:
// the phase computes every cost of a large instance here as it reads it.
inline double RuleCost(const CostRule& rule, double dx, double dy) {
  const double squared = dx * dx + dy * dy;
  switch (rule.metric) {
    case Metric::kEuclidean:
      return std::sqrt(squared) / rule.speed;
    case Metric::kRounded:  // the nearest integer as the benchmark libraries take it: half up
      return std::floor(std::sqrt(squared) + 0.5) / rule.speed;
    case Metric::kAtt: {
      // Pseudo-Euclidean: the root of a tenth of the square, rounded up.
      const double r = std::sqrt(squared / 10.0);
      const double t = std::floor(r + 0.5);
      return (t < r ? t + 1.0 : t) / rule.speed;
    }
  }
  return 0.0;
}

}  // namespace quarn
