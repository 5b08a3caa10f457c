#include "plugins/default_expansion.h"

#include <algorithm>
#include <limits>

namespace quarn {

void DefaultExpansion::SetEnds(const std::vector<int32_t>& ends) {
  ends_ = ends;
  num_agents_ = ends_.size();
}

int32_t DefaultExpansion::SelectAgent(const Label& label) const {
  const size_t n = std::min<size_t>({num_agents_, label.costs.size(), label.finished.size()});
  int32_t best = -1;
  double best_cost = std::numeric_limits<double>::max();
  for (size_t a = 0; a < n; ++a) {
    if (label.finished[a] != 0) continue;
    if (label.costs[a] < best_cost) {
      best_cost = label.costs[a];
      best = static_cast<int32_t>(a);
    }
  }
  return best;
}

}  // namespace quarn
