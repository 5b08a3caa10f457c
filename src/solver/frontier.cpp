#include "solver/frontier.h"

#include <cstddef>
#include <utility>

namespace quarn {

bool LabelDominates(const Label& a, const Label& b) {
  if (a.g > b.g) return false;
  // The visited words sit inside the label; the costs behind a pointer, so they go last.
  if (!b.visited.IsSubsetOf(a.visited)) return false;
  // Labels of one search carry one cost per agent; anything else is not comparable.
  if (a.costs.size() != b.costs.size()) return false;
  for (std::size_t i = 0; i < a.costs.size(); ++i) {
    if (a.costs[i] > b.costs[i]) return false;
  }
  return true;
}

bool Frontier::Dominates(const Label& label) const {
  for (const Label& stored : labels) {
    if (LabelDominates(stored, label)) return true;
  }
  return false;
}

int32_t Frontier::Insert(Label label) {
  // Removed labels are swapped behind the live ones, so nothing shifts.
  std::size_t live = labels.size();
  for (std::size_t k = labels.size(); k-- > 0;) {
    if (LabelDominates(label, labels[k])) {
      --live;
      if (k != live) std::swap(labels[k], labels[live]);
    }
  }
  auto removed = static_cast<int32_t>(labels.size() - live);
  labels.resize(live);
  labels.push_back(std::move(label));
  return removed;
}

}  // namespace quarn
