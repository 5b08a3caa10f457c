#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

#include "localsearch/solution.h"

namespace quarn {

// What the phase minimises. Min-sum: the total. Min-max: the longest route plus
// `alpha` times the total, so moves on routes that are not the longest still pay
// off; or, with a `cap`, the total plus `cap_weight` times each route's length
// above the cap, and `steep_weight` times its length above `steep` (see
// ImproveSettings::balance_cap_agents). The best solution is still judged by
// (longest, total).
struct LsObjective {
  bool min_max = false;
  double alpha = 0.01;
  double cap = 0.0;  // 0: none
  double cap_weight = 0.0;
  double steep = kLsInfinity;
  double steep_weight = 0.0;

  double Scalar(double max, double sum) const { return min_max ? max + alpha * sum : sum; }
  // Convex and growing in the route's cost, so the operators' travel bounds hold.
  double Over(double cost) const {
    const double over = cost > cap ? cap_weight * (cost - cap) : 0.0;
    return cost > steep ? over + steep_weight * (cost - steep) : over;
  }
  bool Capped() const { return min_max && cap > 0.0; }
  // Penalties of left-out targets count beside the routes (0 when none is optional).
  double Of(const LsSolution& s) const {
    if (Capped() && s.sum() < kLsInfinity) {
      double value = s.sum() + s.left_out();
      for (const LsRoute& route : s.routes()) value += Over(route.cost);
      return value;
    }
    return Scalar(s.max(), s.sum()) + s.left_out();
  }
  // The change when routes r1 (and r2, -1 for none) take the new costs.
  double Delta(const LsSolution& s, int32_t r1, double c1, int32_t r2, double c2) const {
    if (!(s.sum() < kLsInfinity)) return DeltaWithUnpriced(s, r1, c1, r2, c2);
    if (Capped()) {
      double change = c1 - s.route(r1).cost + Over(c1) - Over(s.route(r1).cost);
      if (r2 >= 0) change += c2 - s.route(r2).cost + Over(c2) - Over(s.route(r2).cost);
      return change;
    }
    double sum = s.sum() - s.route(r1).cost + c1;
    if (r2 >= 0) sum += c2 - s.route(r2).cost;
    if (!min_max) return sum - s.sum();
    double max = s.MaxExcluding(r1, r2);
    if (c1 > max) max = c1;
    if (r2 >= 0 && c2 > max) max = c2;
    return Scalar(max, sum) - Scalar(s.max(), s.sum());
  }
  // Delta where some route has no finite price (no arc from its start to its
  // end, say): fewer such routes always win, at equal counts the change of
  // the priced ones counts.
  double DeltaWithUnpriced(const LsSolution& s, int32_t r1, double c1, int32_t r2, double c2) const {
    int32_t unpriced_before = 0;
    int32_t unpriced_after = 0;
    double max_before = 0.0, sum_before = 0.0, max_after = 0.0, sum_after = 0.0;
    for (int32_t r = 0; r < s.num_routes(); ++r) {
      const double before = s.route(r).cost;
      const double after = r == r1 ? c1 : r == r2 ? c2 : before;
      if (before < kLsInfinity) {
        max_before = std::max(max_before, before);
        sum_before += before;
      } else {
        ++unpriced_before;
      }
      if (after < kLsInfinity) {
        max_after = std::max(max_after, after);
        sum_after += after;
      } else {
        ++unpriced_after;
      }
    }
    if (unpriced_after != unpriced_before) return unpriced_after < unpriced_before ? -kLsInfinity : kLsInfinity;
    return Scalar(max_after, sum_after) - Scalar(max_before, sum_before);
  }
  // Strictly better under the final judgement, with a tolerance for rounding.
  bool Better(double max_a, double sum_a, double max_b, double sum_b) const {
    constexpr double kEps = 1e-9;
    if (!min_max) return sum_a < sum_b - kEps;
    if (max_a < max_b - kEps) return true;
    return max_a <= max_b + kEps && sum_a < sum_b - kEps;
  }
  // What a solution is judged by, first and second (second 0 under min-sum): the
  // penalties of its left-out targets added to both measures.
  std::pair<double, double> Measures(const LsSolution& s) const {
    const double out = s.left_out();
    return min_max ? std::make_pair(s.max() + out, s.sum() + out) : std::make_pair(s.sum() + out, 0.0);
  }
  // Better() of two solutions by their Measures.
  bool Better(const LsSolution& a, const LsSolution& b) const { return Better(Measures(a), Measures(b)); }
  bool Better(std::pair<double, double> a, std::pair<double, double> b) const {
    return min_max ? Better(a.first, a.second, b.first, b.second) : Better(0.0, a.first, 0.0, b.first);
  }
};

}  // namespace quarn
