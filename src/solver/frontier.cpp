#include "solver/frontier.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

namespace quarn {
namespace {

constexpr size_t kBlock = 16;  // labels per candidate mask

// Bit j is set when stored label first + j passes the g and visited tests of
// dominating a label of g `g` and visited words `words`. No branch per label:
// which labels pass is too irregular to predict.
template <size_t kWords>
uint32_t Candidates(const double* g_values, const uint64_t* visited, size_t first, size_t count,
                    double g, const uint64_t* words) {
  uint32_t mask = 0;
  for (size_t j = 0; j < count; ++j) {
    uint64_t missing = 0;
    const uint64_t* stored = visited + (first + j) * kWords;
    for (size_t w = 0; w < kWords; ++w) missing |= words[w] & ~stored[w];
    const bool passes = !(g_values[first + j] > g) & (missing == 0);
    mask |= static_cast<uint32_t>(passes) << j;
  }
  return mask;
}

// Bit j is set when stored label first + j passes the g and visited tests of
// being dominated by a label of g `g` and visited words `words`.
template <size_t kWords>
uint32_t Dominated(const double* g_values, const uint64_t* visited, size_t first, size_t count,
                   double g, const uint64_t* words) {
  uint32_t mask = 0;
  for (size_t j = 0; j < count; ++j) {
    uint64_t missing = 0;
    const uint64_t* stored = visited + (first + j) * kWords;
    for (size_t w = 0; w < kWords; ++w) missing |= stored[w] & ~words[w];
    const bool passes = !(g > g_values[first + j]) & (missing == 0);
    mask |= static_cast<uint32_t>(passes) << j;
  }
  return mask;
}

}  // namespace

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

inline bool Frontier::DominatesStored(const Label& label, size_t k) const {
  if (label.g > g_[k]) return false;
  const uint64_t* words = visited_.data() + k * visited_words_;
  for (size_t w = 0; w < visited_words_; ++w) {
    if ((words[w] & ~label.visited.words[w]) != 0) return false;
  }
  const double* costs = costs_.data() + k * num_costs_;
  for (size_t i = 0; i < num_costs_; ++i) {
    if (label.costs[i] > costs[i]) return false;
  }
  return true;
}

uint32_t Frontier::CandidatesIn(size_t first, size_t count, const Label& label) const {
  const double* g = g_.data();
  const uint64_t* visited = visited_.data();
  const uint64_t* words = label.visited.words.data();
  switch (visited_words_) {
    case 0:
      return Candidates<0>(g, visited, first, count, label.g, words);
    case 1:
      return Candidates<1>(g, visited, first, count, label.g, words);
    case 2:
      return Candidates<2>(g, visited, first, count, label.g, words);
    case 3:
      return Candidates<3>(g, visited, first, count, label.g, words);
    default:
      return Candidates<4>(g, visited, first, count, label.g, words);
  }
}

uint32_t Frontier::DominatedIn(size_t first, size_t count, const Label& label) const {
  const double* g = g_.data();
  const uint64_t* visited = visited_.data();
  const uint64_t* words = label.visited.words.data();
  switch (visited_words_) {
    case 0:
      return Dominated<0>(g, visited, first, count, label.g, words);
    case 1:
      return Dominated<1>(g, visited, first, count, label.g, words);
    case 2:
      return Dominated<2>(g, visited, first, count, label.g, words);
    case 3:
      return Dominated<3>(g, visited, first, count, label.g, words);
    default:
      return Dominated<4>(g, visited, first, count, label.g, words);
  }
}

// LabelDominates(stored, label) for some stored label, tested a block at a
// time: g and visited words for the whole block, the costs for those that pass.
// While no g is NaN the labels are kept in ascending g, and the scan ends at
// the first block that starts above the label's g.
bool Frontier::Dominates(const Label& label) const {
  // Labels of one search carry one cost per agent; anything else is not comparable.
  if (g_.empty() || label.costs.size() != num_costs_) return false;
  const bool ascending = sorted_ && !std::isnan(label.g);
  for (size_t first = 0; first < g_.size(); first += kBlock) {
    if (ascending && g_[first] > label.g) break;
    uint32_t mask = CandidatesIn(first, std::min(kBlock, g_.size() - first), label);
    for (; mask != 0; mask &= mask - 1) {
      const double* costs = costs_.data() + (first + static_cast<size_t>(__builtin_ctz(mask))) * num_costs_;
      bool cheaper_somewhere = false;
      for (size_t i = 0; i < num_costs_; ++i) cheaper_somewhere |= costs[i] > label.costs[i];
      if (!cheaper_somewhere) return true;
    }
  }
  return false;
}

size_t Frontier::FirstNotBelow(double g) const {
  return static_cast<size_t>(std::lower_bound(g_.begin(), g_.end(), g) - g_.begin());
}

void Frontier::MoveStored(size_t from, size_t to) {
  g_[to] = g_[from];
  // Pointer arithmetic, not indexing: with no agents or no nodes a list is empty.
  std::copy_n(costs_.data() + from * num_costs_, num_costs_, costs_.data() + to * num_costs_);
  std::copy_n(visited_.data() + from * visited_words_, visited_words_,
              visited_.data() + to * visited_words_);
}

int32_t Frontier::Insert(const Label& label) {
  if (g_.empty()) {
    num_costs_ = label.costs.size();
  } else if (label.costs.size() != num_costs_) {
    throw std::invalid_argument("frontier labels must carry the same number of costs");
  }
  if (std::isnan(label.g)) sorted_ = false;
  // Only labels of no smaller g can be dominated by the new one. Most inserts
  // remove nothing, so the labels are first only tested, a block at a time.
  const size_t first = sorted_ ? FirstNotBelow(label.g) : 0;
  size_t doomed = g_.size();
  for (size_t block = first; block < g_.size() && doomed == g_.size(); block += kBlock) {
    uint32_t mask = DominatedIn(block, std::min(kBlock, g_.size() - block), label);
    for (; mask != 0; mask &= mask - 1) {
      const size_t k = block + static_cast<size_t>(__builtin_ctz(mask));
      if (DominatesStored(label, k)) {
        doomed = k;
        break;
      }
    }
  }
  // The survivors close up in place, keeping their order.
  size_t live = doomed;
  for (size_t k = doomed; k < g_.size(); ++k) {
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
