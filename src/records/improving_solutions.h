#pragma once

namespace quarn {

// The anytime list keeps a recorded solution only when it scores below every one
// kept before it: by its longest route under min-max, by its total under min-sum.
// The progress reports count solutions by the same rule.
class ImprovingSolutions {
 public:
  explicit ImprovingSolutions(bool min_sum = false) : min_sum_(min_sum) {}

  // True, and from now on the best, when the solution improves on those kept.
  bool Keep(double max_cost, double sum_cost) {
    const double score = min_sum_ ? sum_cost : max_cost;
    if (!(best_ - kTolerance > score)) return false;
    best_ = score;
    return true;
  }
  double best() const { return best_; }

 private:
  static constexpr double kTolerance = 1e-9;
  bool min_sum_ = false;
  double best_ = 1e18;  // above any score
};

}  // namespace quarn
