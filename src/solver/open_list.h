#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

#include "solver/block_list.h"
#include "records/list_entries.h"

namespace quarn {

// The open list: every label not yet expanded, ordered by f, then id. Only the
// entries up to a split value (the search keeps it at the focal bound) are ever
// read in order, so only they are kept sorted; the many above it wait in a
// binary heap, which takes a new entry in constant expected time and hands its
// entries over in order as the split rises. Ids are unique.
class OpenList {
 public:
  bool empty() const { return size() == 0; }
  size_t size() const { return low_.size() + high_.size(); }
  void clear();

  // The least entry; the list must not be empty.
  const OpenEntry& front() const { return low_.empty() ? high_.front() : low_.front(); }
  void insert(const OpenEntry& entry);
  // Removes the entry of that f and id; 1 when it was there.
  size_t erase(const OpenEntry& entry);
  // Removes every entry whose f lies above `f`.
  void EraseAbove(double f);

  // Moves entries between the parts so that exactly those with f up to `split` are sorted.
  void SetSplit(double split);
  // Calls visit(entry) for the entries of f up to `limit`, in order, while it
  // returns true. The sorted part grows to `limit` first.
  template <typename Visit>
  void VisitUpTo(double limit, Visit visit) {
    if (limit > split_) SetSplit(limit);
    for (const OpenEntry& entry : low_) {
      if (entry.f > limit || !visit(entry)) return;
    }
  }
  // The same for the entries of f above `above` and up to `limit`.
  template <typename Visit>
  void VisitBetween(double above, double limit, Visit visit) {
    if (limit > split_) SetSplit(limit);
    const OpenEntry after{above, std::numeric_limits<int32_t>::max()};
    for (auto it = low_.upper_bound(after); it != low_.end() && it->f <= limit; ++it) visit(*it);
  }

  // Every entry in order; a copy, for tests and diagnostics.
  std::vector<OpenEntry> Sorted() const;
  uint64_t bytes() const { return low_.bytes() + high_.size() * sizeof(OpenEntry); }

 private:
  double split_ = -std::numeric_limits<double>::infinity();
  BlockList<OpenEntry, OpenEntryLess> low_;  // f up to split_
  // f above split_: a heap with the least on top. A deque grows without
  // copying, so the peak memory never holds the heap twice.
  std::deque<OpenEntry> high_;
};

}  // namespace quarn
