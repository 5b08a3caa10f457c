#include "graph/coordinate_costs.h"

#include <utility>

namespace quarn {

CoordinateCosts::CoordinateCosts(std::vector<double> x, std::vector<double> y,
                                 std::vector<std::optional<CostRule>> rules, double fill)
    : x_(std::move(x)), y_(std::move(y)), rules_(std::move(rules)), fill_(fill) {
  y_.resize(x_.size(), 0.0);
}

}  // namespace quarn
