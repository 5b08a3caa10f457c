#include <limits>

#include "solver/solver.h"

namespace quarn {
namespace {

constexpr double kIncumbentSlack = 0.2;

// First open entry whose f lies above `f` (the open list is sorted by f, then id).
OpenList::const_iterator FirstAbove(const OpenList& open, double f) {
  return open.upper_bound(OpenEntry{f, std::numeric_limits<int32_t>::max()});
}

}  // namespace

FocalEntry Solver::MakeFocalEntry(const Label& label) const {
  return FocalEntry{label.id, CountVisited(label), label.remaining, label.f, SumCost(label)};
}

void Solver::UpdateFocal(double old_bound, double new_bound) {
  if (new_bound > old_bound) {
    // Entries raised by the bound carry a zero cost sum; only new children compute theirs.
    for (auto it = FirstAbove(open_, old_bound); it != open_.end() && it->f <= new_bound; ++it) {
      labels_.Read(it->id, lookup_);
      focal_.insert(FocalEntry{it->id, CountVisited(lookup_), lookup_.remaining, it->f, 0.0});
    }
  } else {
    focal_.erase_if([new_bound](const FocalEntry& e) { return e.f > new_bound; });
  }
  focal_bound_ = new_bound;
}

void Solver::PruneByIncumbent(double cost) {
  focal_.erase_if([cost](const FocalEntry& e) { return e.f > cost; });
  // A little slack keeps near-equal labels defining the smallest open f.
  open_.erase_to_end(FirstAbove(open_, cost + kIncumbentSlack));
  incumbent_ = cost;
}

}  // namespace quarn
