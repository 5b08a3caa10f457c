#include "solver/solver.h"

namespace quarn {
namespace {

constexpr double kIncumbentSlack = 0.2;

}  // namespace

FocalEntry Solver::MakeFocalEntry(const Label& label) const {
  return FocalEntry{label.id, CountVisited(label), label.remaining, label.f, SumCost(label)};
}

void Solver::UpdateFocal(double old_bound, double new_bound) {
  if (new_bound > old_bound) {
    // Entries raised by the bound carry a zero cost sum; only new children compute theirs.
    open_.VisitBetween(old_bound, new_bound, [this](const OpenEntry& entry) {
      labels_.Read(entry.id, lookup_);
      focal_.insert(FocalEntry{entry.id, CountVisited(lookup_), lookup_.remaining, entry.f, 0.0});
    });
  } else {
    focal_.erase_if([new_bound](const FocalEntry& e) { return e.f > new_bound; });
  }
  focal_bound_ = new_bound;
  open_.SetSplit(focal_bound_);
}

void Solver::PruneByIncumbent(double cost) {
  focal_.erase_if([cost](const FocalEntry& e) { return e.f > cost; });
  // A little slack keeps near-equal labels defining the smallest open f.
  open_.EraseAbove(cost + kIncumbentSlack);
  incumbent_ = cost;
}

}  // namespace quarn
