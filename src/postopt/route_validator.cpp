#include "postopt/route_validator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace quarn {

double RouteValidator::PathCost(const std::vector<int32_t>& path, int32_t agent) const {
  bool valid = false;
  return PathCost(path, agent, valid);
}

double RouteValidator::PathCost(const std::vector<int32_t>& path, int32_t agent,
                                bool& valid) const {
  double cost = 0.0;
  valid = EvaluatePath(path, agent, cost);
  if (!valid) {
    diagnostics_.Err("[post-opt] invalid path for agent ", agent, ", skip optimize");
  }
  return cost;
}

bool RouteValidator::ImprovingReversal(std::vector<int32_t>& path, double& cost, int32_t agent,
                                       TravelSums& sums) const {
  const size_t n = path.size();
  MeasureTravel(path, agent, sums);
  for (size_t i = 1; i + 3 <= n; ++i) {
    for (size_t j = i + 1; j + 2 <= n; ++j) {
      // Skips only reversals the test below would refuse, so the result is that
      // of evaluating every one.
      if (!(cost > ReversalLowerBound(path, agent, sums, i, j) + kPostOptEpsilon)) continue;
      std::vector<int32_t> candidate = path;
      std::reverse(candidate.begin() + static_cast<std::ptrdiff_t>(i),
                   candidate.begin() + static_cast<std::ptrdiff_t>(j) + 1);
      double candidate_cost = 0.0;
      if (EvaluatePath(candidate, agent, candidate_cost) &&
          cost > candidate_cost + kPostOptEpsilon) {
        path = std::move(candidate);
        cost = candidate_cost;
        return true;
      }
    }
  }
  return false;
}

void RouteValidator::MeasureTravel(const std::vector<int32_t>& path, int32_t agent,
                                   TravelSums& sums) const {
  const size_t n = path.size();
  sums.forward.assign(n, 0.0);
  sums.backward.assign(n, 0.0);
  double magnitude = 0.0;
  for (size_t p = 1; p < n; ++p) {
    const double ahead = rules_->RouteTravel(path[p - 1], path[p], agent);
    const double back = rules_->RouteTravel(path[p], path[p - 1], agent);
    sums.forward[p] = sums.forward[p - 1] + ahead;
    sums.backward[p] = sums.backward[p - 1] + back;
    magnitude += std::abs(ahead) + std::abs(back);
  }
  sums.magnitude = magnitude;
}

double RouteValidator::ReversalLowerBound(const std::vector<int32_t>& path, int32_t agent,
                                          const TravelSums& sums, size_t i, size_t j) const {
  // path[0..i-1], then path[j] down to path[i], then path[j+1..]: every arc but
  // the two new ones is an arc of the path, driven forward or backward. Waiting
  // only adds to the arrival time, so its travel sum is a lower bound.
  const double last = sums.forward.back();
  const double join_front = rules_->RouteTravel(path[i - 1], path[j], agent);
  const double join_back = rules_->RouteTravel(path[i], path[j + 1], agent);
  const double travel = sums.forward[i - 1] + join_front + (sums.backward[j] - sums.backward[i]) +
                        join_back + (last - sums.forward[j + 1]);
  // Far above the rounding of these sums and of EvaluatePath's own (a few
  // hundred additions of at most these magnitudes), far below any cost
  // difference that matters. A non-finite cost makes the bound useless, not wrong.
  const double magnitude = sums.magnitude + std::abs(join_front) + std::abs(join_back);
  if (!std::isfinite(magnitude)) return -std::numeric_limits<double>::infinity();
  return travel - (magnitude * 1e-11 + 1e-300);
}

}  // namespace quarn
