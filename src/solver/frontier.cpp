#include "solver/frontier.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

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

Frontier::Frontier(size_t visited_words)
    : visited_words_(std::min(visited_words, VisitedSet().words.size())) {}

// The same tests as LabelDominates, in the same order, on the packed copy.
inline bool Frontier::StoredDominates(size_t k, const Label& label) const {
  if (g_[k] > label.g) return false;
  const uint64_t* words = &visited_[k * visited_words_];
  for (size_t w = 0; w < visited_words_; ++w) {
    if ((label.visited.words[w] & ~words[w]) != 0) return false;
  }
  if (label.costs.size() != num_costs_) return false;
  const double* costs = &costs_[k * num_costs_];
  for (size_t i = 0; i < num_costs_; ++i) {
    if (costs[i] > label.costs[i]) return false;
  }
  return true;
}

inline bool Frontier::DominatesStored(const Label& label, size_t k) const {
  if (label.g > g_[k]) return false;
  const uint64_t* words = &visited_[k * visited_words_];
  for (size_t w = 0; w < visited_words_; ++w) {
    if ((words[w] & ~label.visited.words[w]) != 0) return false;
  }
  const double* costs = &costs_[k * num_costs_];
  for (size_t i = 0; i < num_costs_; ++i) {
    if (label.costs[i] > costs[i]) return false;
  }
  return true;
}

// While no g is NaN the labels are kept in ascending g, and only those with a
// g no larger than the label's can dominate it.
bool Frontier::Dominates(const Label& label) const {
  const size_t end = sorted_ && !std::isnan(label.g) ? FirstAbove(label.g) : g_.size();
  for (size_t k = 0; k < end; ++k) {
    if (StoredDominates(k, label)) return true;
  }
  return false;
}

size_t Frontier::FirstAbove(double g) const {
  return static_cast<size_t>(std::upper_bound(g_.begin(), g_.end(), g) - g_.begin());
}

size_t Frontier::FirstNotBelow(double g) const {
  return static_cast<size_t>(std::lower_bound(g_.begin(), g_.end(), g) - g_.begin());
}

void Frontier::MoveStored(size_t from, size_t to) {
  g_[to] = g_[from];
  std::copy_n(&costs_[from * num_costs_], num_costs_, &costs_[to * num_costs_]);
  std::copy_n(&visited_[from * visited_words_], visited_words_, &visited_[to * visited_words_]);
}

int32_t Frontier::Insert(const Label& label) {
  if (g_.empty()) {
    num_costs_ = label.costs.size();
  } else if (label.costs.size() != num_costs_) {
    throw std::invalid_argument("frontier labels must carry the same number of costs");
  }
  if (std::isnan(label.g)) sorted_ = false;
  // Only labels of no smaller g can be dominated by the new one; the
  // survivors close up in place, keeping their order.
  const size_t first = sorted_ ? FirstNotBelow(label.g) : 0;
  size_t live = first;
  for (size_t k = first; k < g_.size(); ++k) {
    if (DominatesStored(label, k)) continue;
    if (live != k) MoveStored(k, live);
    ++live;
  }
  const auto removed = static_cast<int32_t>(g_.size() - live);
  g_.resize(live);
  costs_.resize(live * num_costs_);
  visited_.resize(live * visited_words_);

  const size_t at = sorted_ ? first : g_.size();
  g_.insert(g_.begin() + static_cast<std::ptrdiff_t>(at), label.g);
  costs_.insert(costs_.begin() + static_cast<std::ptrdiff_t>(at * num_costs_), label.costs.begin(),
                label.costs.end());
  visited_.insert(visited_.begin() + static_cast<std::ptrdiff_t>(at * visited_words_),
                  label.visited.words.begin(),
                  label.visited.words.begin() + static_cast<std::ptrdiff_t>(visited_words_));
  return removed;
}

uint64_t Frontier::bytes() const {
  return g_.capacity() * sizeof(double) + costs_.capacity() * sizeof(double) +
         visited_.capacity() * sizeof(uint64_t);
}

}  // namespace quarn
