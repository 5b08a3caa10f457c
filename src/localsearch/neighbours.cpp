#include "localsearch/neighbours.h"

#include <algorithm>
#include <utility>

namespace quarn {

Neighbours::Neighbours(const LocalModel& model, int32_t k)
    : n_(static_cast<size_t>(model.num_nodes())) {
  near_.resize(static_cast<size_t>(model.num_types()) * n_);
  adjacent_.resize(n_);
  const std::vector<int32_t>& targets = model.customers();
  std::vector<std::pair<double, int32_t>> order;
  for (int32_t u : targets) {
    std::vector<double> nearest(targets.size(), kLsInfinity);
    for (int32_t t = 0; t < model.num_types(); ++t) {
      order.clear();
      for (size_t i = 0; i < targets.size(); ++i) {
        const int32_t v = targets[i];
        if (v == u) continue;
        const double d = model.TypeArc(t, u, v) + model.TypeArc(t, v, u);
        nearest[i] = std::min(nearest[i], d);
        if (d < kLsInfinity) order.emplace_back(d, v);
      }
      // Ties by index, so the lists never depend on the sort's implementation.
      std::sort(order.begin(), order.end());
      std::vector<int32_t>& list = near_[static_cast<size_t>(t) * n_ + static_cast<size_t>(u)];
      for (size_t i = 0; i < order.size() && static_cast<int32_t>(i) < k; ++i) list.push_back(order[i].second);
    }
    order.clear();
    for (size_t i = 0; i < targets.size(); ++i) {
      if (targets[i] != u) order.emplace_back(nearest[i], targets[i]);
    }
    std::sort(order.begin(), order.end());
    for (const auto& entry : order) adjacent_[static_cast<size_t>(u)].push_back(entry.second);
  }
}

}  // namespace quarn
