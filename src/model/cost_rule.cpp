#include "model/cost_rule.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace quarn {
namespace {

// The nearest integer as the usual benchmark libraries take it: half rounds up.
double NearestInt(double value) { return std::floor(value + 0.5); }

}  // namespace

CostRule MakeCostRule(const std::string& agent_type, const std::string& metric, double speed) {
  CostRule rule;
  if (metric == "euclidean") {
    rule.metric = Metric::kEuclidean;
  } else if (metric == "rounded") {
    rule.metric = Metric::kRounded;
  } else if (metric == "att") {
    rule.metric = Metric::kAtt;
  } else {
    throw std::invalid_argument("cost rule of type '" + agent_type + "': the metric is \"euclidean\", " +
                                "\"rounded\" or \"att\", not \"" + metric + "\"");
  }
  if (!(std::isfinite(speed) && speed > 0.0)) {
    std::ostringstream message;
    message << "cost rule of type '" << agent_type << "': the speed must be a finite number greater than 0, not "
            << speed;
    throw std::invalid_argument(message.str());
  }
  rule.speed = speed;
  return rule;
}

double RuleCost(const CostRule& rule, double dx, double dy) {
  const double squared = dx * dx + dy * dy;
  switch (rule.metric) {
    case Metric::kEuclidean:
      return std::sqrt(squared) / rule.speed;
    case Metric::kRounded:
      return NearestInt(std::sqrt(squared)) / rule.speed;
    case Metric::kAtt: {
      // Pseudo-Euclidean: the root of a tenth of the square, rounded up.
      const double r = std::sqrt(squared / 10.0);
      const double t = NearestInt(r);
      return (t < r ? t + 1.0 : t) / rule.speed;
    }
  }
  return 0.0;
}

}  // namespace quarn
