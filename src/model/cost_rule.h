#pragma once

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

// The metric's distance over the offsets (dx, dy), divided by the speed.
double RuleCost(const CostRule& rule, double dx, double dy);

}  // namespace quarn
