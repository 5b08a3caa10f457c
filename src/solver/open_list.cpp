#include "solver/open_list.h"

#include <algorithm>

namespace quarn {
namespace {

// std::*_heap keep the greatest on top; this order puts the least there.
struct Later {
  bool operator()(const OpenEntry& a, const OpenEntry& b) const { return OpenEntryLess()(b, a); }
};

}  // namespace

void OpenList::clear() {
  low_.clear();
  high_.clear();
  high_.shrink_to_fit();  // the blocks of an earlier search go back
  split_ = -std::numeric_limits<double>::infinity();
}

void OpenList::insert(const OpenEntry& entry) {
  if (entry.f <= split_) {
    low_.insert(entry);
    return;
  }
  high_.push_back(entry);
  std::push_heap(high_.begin(), high_.end(), Later());
}

size_t OpenList::erase(const OpenEntry& entry) {
  if (entry.f <= split_) return low_.erase(entry);
  // Rare: the search takes its labels from below the split.
  auto at = std::find_if(high_.begin(), high_.end(), [&entry](const OpenEntry& e) {
    return e.f == entry.f && e.id == entry.id;
  });
  if (at == high_.end()) return 0;
  high_.erase(at);
  std::make_heap(high_.begin(), high_.end(), Later());
  return 1;
}

void OpenList::EraseAbove(double f) {
  low_.erase_to_end(low_.upper_bound(OpenEntry{f, std::numeric_limits<int32_t>::max()}));
  high_.erase(std::remove_if(high_.begin(), high_.end(), [f](const OpenEntry& e) { return e.f > f; }),
              high_.end());
  std::make_heap(high_.begin(), high_.end(), Later());
}

void OpenList::SetSplit(double split) {
  if (split < split_) {
    const OpenEntry after{split, std::numeric_limits<int32_t>::max()};
    const auto first = low_.upper_bound(after);
    for (auto it = first; it != low_.end(); ++it) {
      high_.push_back(*it);
      std::push_heap(high_.begin(), high_.end(), Later());
    }
    low_.erase_to_end(first);
  } else {
    // The heap yields its entries in order, each above everything already sorted.
    while (!high_.empty() && high_.front().f <= split) {
      low_.insert(high_.front());
      std::pop_heap(high_.begin(), high_.end(), Later());
      high_.pop_back();
    }
  }
  split_ = split;
}

std::vector<OpenEntry> OpenList::Sorted() const {
  std::vector<OpenEntry> all(low_.begin(), low_.end());
  std::vector<OpenEntry> rest(high_.begin(), high_.end());
  std::sort(rest.begin(), rest.end(), OpenEntryLess());
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

}  // namespace quarn
