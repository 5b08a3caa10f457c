#include "localsearch/neighbours.h"

#include <algorithm>
#include <utility>

namespace quarn {
namespace {

// The first `keep` entries of `order` in ascending order, as a full sort would
// leave them: entries are (distance, index) pairs, so no two compare equal.
void SortPrefix(std::vector<std::pair<double, int32_t>>& order, size_t keep) {
  if (keep < order.size()) {
    std::nth_element(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep), order.end());
    order.resize(keep);
  }
  std::sort(order.begin(), order.end());
}

}  // namespace

Neighbours::Neighbours(const LocalModel& model, int32_t k, const StopCheck* stop)
    : n_(static_cast<size_t>(model.num_nodes())) {
  constexpr uint32_t kStopCheckEvery = 64;
  uint32_t built = 0;
  near_.resize(static_cast<size_t>(model.num_types()) * n_);
  adjacent_.resize(n_);
  const std::vector<int32_t>& targets = model.customers();
  const size_t near_length = static_cast<size_t>(std::max(k, 0));
  std::vector<std::pair<double, int32_t>> order;
  std::vector<double> nearest(targets.size());
  for (int32_t u : targets) {
    if (stop != nullptr && ++built % kStopCheckEvery == 0 && stop->Expired()) return;
    std::fill(nearest.begin(), nearest.end(), kLsInfinity);
    for (int32_t t = 0; t < model.num_types(); ++t) {
      order.clear();
      for (size_t i = 0; i < targets.size(); ++i) {
        const int32_t v = targets[i];
        if (v == u) continue;
        const double d = model.TypeArc(t, u, v) + model.TypeArc(t, v, u);
        nearest[i] = std::min(nearest[i], d);
        if (d < kLsInfinity) order.emplace_back(d, v);
      }
      SortPrefix(order, near_length);
      std::vector<int32_t>& list = near_[static_cast<size_t>(t) * n_ + static_cast<size_t>(u)];
      for (const auto& entry : order) list.push_back(entry.second);
    }
    order.clear();
    for (size_t i = 0; i < targets.size(); ++i) {
      if (targets[i] != u) order.emplace_back(nearest[i], targets[i]);
    }
    SortPrefix(order, kAdjacentLength);
    for (const auto& entry : order) adjacent_[static_cast<size_t>(u)].push_back(entry.second);
  }
}

}  // namespace quarn
