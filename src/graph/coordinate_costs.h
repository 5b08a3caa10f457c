#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/cost_rule.h"

namespace quarn {

// Arc costs computed from plane positions by each type's rule, in place of an
// n x n table: what lets an instance of many thousand nodes fit in memory. A
// type without a rule costs `fill` on every arc, as a table without its matrix.
class CoordinateCosts {
 public:
  CoordinateCosts() = default;
  CoordinateCosts(std::vector<double> x, std::vector<double> y,
                  std::vector<std::optional<CostRule>> rules, double fill);

  int32_t size() const { return static_cast<int32_t>(x_.size()); }
  bool HasRule(int32_t type) const {
    return type >= 0 && static_cast<size_t>(type) < rules_.size() && rules_[static_cast<size_t>(type)];
  }
  const std::vector<double>& xs() const { return x_; }
  const std::vector<double>& ys() const { return y_; }
  double x(int32_t v) const { return x_[static_cast<size_t>(v)]; }
  double y(int32_t v) const { return y_[static_cast<size_t>(v)]; }

  // For distinct nodes u and v of the table.
  double Cost(int32_t u, int32_t v, int32_t type) const {
    if (!HasRule(type)) return fill_;
    const auto a = static_cast<size_t>(u);
    const auto b = static_cast<size_t>(v);
    return RuleCost(*rules_[static_cast<size_t>(type)], x_[a] - x_[b], y_[a] - y_[b]);
  }
  // As a complete table answers: nothing for a loop or outside the nodes.
  std::optional<double> Arc(int32_t u, int32_t v, int32_t type) const {
    if (u < 0 || v < 0 || u >= size() || v >= size() || u == v || type < 0) return std::nullopt;
    return Cost(u, v, type);
  }
  // The least cost of the type between points at least `distance` apart: every
  // metric grows with the plane distance.
  double CostAtLeast(int32_t type, double distance) const {
    return HasRule(type) ? RuleCost(*rules_[static_cast<size_t>(type)], distance, 0.0) : fill_;
  }

 private:
  std::vector<double> x_;
  std::vector<double> y_;
  std::vector<std::optional<CostRule>> rules_;  // by type index
  double fill_ = 0.0;
};

}  // namespace quarn
