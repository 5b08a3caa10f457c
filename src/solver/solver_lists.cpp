#include <iterator>
#include <limits>

#include "solver/solver.h"

namespace quarn {
namespace {

constexpr double kIncumbentSlack = 0.2;

// First open entry whose f lies above `f` (the open list is sorted by f, then id).
OpenList::iterator FirstAbove(OpenList& open, double f) {
  return open.upper_bound(OpenEntry{f, std::numeric_limits<int32_t>::max()});
}

template <typename Set, typename Pred>
void EraseIf(Set& set, Pred pred) {
  for (auto it = set.begin(); it != set.end();) {
    it = pred(*it) ? set.erase(it) : std::next(it);
  }
}

}  // namespace

FocalEntry Solver::MakeFocalEntry(const Label& label) const {
  return FocalEntry{label.id, CountVisited(label), label.remaining, label.f, SumCost(label)};
}

void Solver::UpdateFocal(double old_bound, double new_bound) {
  if (new_bound > old_bound) {
    // Entries raised by the bound carry a zero cost sum; only new children compute theirs.
    for (auto it = FirstAbove(open_, old_bound); it != open_.end() && it->f <= new_bound; ++it) {
      const Label& label = labels_[static_cast<size_t>(it->id)];
      focal_.insert(FocalEntry{it->id, CountVisited(label), label.remaining, it->f, 0.0});
    }
  } else {
    EraseIf(focal_, [new_bound](const FocalEntry& e) { return e.f > new_bound; });
  }
  focal_bound_ = new_bound;
}

void Solver::PruneByIncumbent(double cost) {
  EraseIf(focal_, [cost](const FocalEntry& e) { return e.f > cost; });
  // A little slack keeps near-equal labels defining the smallest open f.
  open_.erase(FirstAbove(open_, cost + kIncumbentSlack), open_.end());
  incumbent_ = cost;
}

}  // namespace quarn
