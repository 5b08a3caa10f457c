#include "model/cost_rule.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace quarn {

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

}  // namespace quarn
