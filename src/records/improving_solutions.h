#pragma once

namespace quarn {

// The anytime list keeps a recorded solution only when it scores below every one
// kept before it: by its longest route under min-max, by its total under min-sum.
// Under min-max an equal longest route with a smaller total also counts, as the
// improvement phase judges its solutions so. The progress reports count
// solutions by the same rule.
class ImprovingSolutions {
 public:
  explicit ImprovingSolutions(bool min_sum = false) : min_sum_(min_sum) {}

  // True, and from now on the best, when the solution improves on those kept.
  bool Keep(double max_cost, double sum_cost) {
    const double score = min_sum_ ? sum_cost : max_cost;
    const bool better = best_ - kTolerance > score ||
                        (!min_sum_ && !(score > best_ + kTolerance) && best_sum_ - kTolerance > sum_cost);
    if (!better) return false;
    best_ = score;
    best_sum_ = sum_cost;
    return true;
  }
  double best() const { return best_; }

 private:
  static constexpr double kTolerance = 1e-9;
  bool min_sum_ = false;
  double best_ = 1e18;      // above any score
  double best_sum_ = 1e18;  // the total of the best, for ties under min-max
};

}  // namespace quarn
