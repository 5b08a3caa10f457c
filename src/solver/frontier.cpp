#include "solver/frontier.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace quarn {
namespace {

constexpr size_t kBlock = 16;  // labels per candidate mask

double AsDouble(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

uint64_t AsBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

// Bit j is set when stored label first + j passes the g and visited tests of
// dominating (kDominating) or being dominated by a label of g `g` and visited
// words `words`. No branch per label: which labels pass is too irregular to predict.
template <size_t kWords, bool kDominating>
uint32_t Passing(const uint64_t* keys, size_t first, size_t count, double g, const uint64_t* words) {
  uint32_t mask = 0;
  for (size_t j = 0; j < count; ++j) {
    const uint64_t* key = keys + (first + j) * (1 + kWords);
    uint64_t missing = 0;
    for (size_t w = 0; w < kWords; ++w) {
      missing |= kDominating ? words[w] & ~key[1 + w] : key[1 + w] & ~words[w];
    }
    const double stored = AsDouble(key[0]);
    const bool g_allows = kDominating ? !(stored > g) : !(g > stored);
    mask |= static_cast<uint32_t>(g_allows & (missing == 0)) << j;
  }
  return mask;
}

template <bool kDominating>
uint32_t PassingIn(size_t visited_words, const uint64_t* keys, size_t first, size_t count,
                   const Label& label) {
  const uint64_t* words = label.visited.words.data();
  switch (visited_words) {
    case 0:
      return Passing<0, kDominating>(keys, first, count, label.g, words);
    case 1:
      return Passing<1, kDominating>(keys, first, count, label.g, words);
    case 2:
      return Passing<2, kDominating>(keys, first, count, label.g, words);
    case 3:
      return Passing<3, kDominating>(keys, first, count, label.g, words);
    default:
      return Passing<4, kDominating>(keys, first, count, label.g, words);
  }
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
  // With demands of 0 or more a lighter agent can serve whatever a heavier one can.
  if (a.loads.size() != b.loads.size()) return false;
  for (std::size_t i = 0; i < a.loads.size(); ++i) {
    if (a.loads[i] > b.loads[i]) return false;
  }
  return true;
}

Frontier::Frontier(size_t visited_words)
    : visited_words_(std::min(visited_words, VisitedSet().words.size())),
      stride_(1 + visited_words_) {}

uint32_t Frontier::CandidatesIn(size_t first, size_t count, const Label& label) const {
  return PassingIn<true>(visited_words_, keys_.data(), first, count, label);
}

uint32_t Frontier::DominatedIn(size_t first, size_t count, const Label& label) const {
  return PassingIn<false>(visited_words_, keys_.data(), first, count, label);
}

// LabelDominates(label, stored label k), on the packed copy.
bool Frontier::DominatesStored(const Label& label, size_t k) const {
  if (label.g > GOf(k)) return false;
  const uint64_t* words = keys_.data() + k * stride_ + 1;
  for (size_t w = 0; w < visited_words_; ++w) {
    if ((words[w] & ~label.visited.words[w]) != 0) return false;
  }
  const double* costs = costs_.data() + k * num_costs_;
  for (size_t i = 0; i < num_costs_; ++i) {
    if (label.costs[i] > costs[i]) return false;
  }
  const double* loads = loads_.data() + k * num_loads_;
  for (size_t i = 0; i < num_loads_; ++i) {
    if (label.loads[i] > loads[i]) return false;
  }
  return true;
}

// LabelDominates(stored, label) for some stored label, tested a block at a
// time: g and visited words for the whole block, the costs for those that pass.
// While no g is NaN the labels are kept in ascending g, and the scan ends at
// the first block that starts above the label's g.
bool Frontier::Dominates(const Label& label) const {
  // Labels of one search carry one cost per agent; anything else is not comparable.
  if (count_ == 0 || label.costs.size() != num_costs_ || label.loads.size() != num_loads_) return false;
  const bool ascending = sorted_ && !std::isnan(label.g);
  for (size_t first = 0; first < count_; first += kBlock) {
    if (ascending && GOf(first) > label.g) break;
    uint32_t mask = CandidatesIn(first, std::min(kBlock, count_ - first), label);
    for (; mask != 0; mask &= mask - 1) {
      const size_t k = first + static_cast<size_t>(__builtin_ctz(mask));
      const double* costs = costs_.data() + k * num_costs_;
      bool cheaper_somewhere = false;
      for (size_t i = 0; i < num_costs_; ++i) cheaper_somewhere |= costs[i] > label.costs[i];
      const double* loads = loads_.data() + k * num_loads_;
      for (size_t i = 0; i < num_loads_; ++i) cheaper_somewhere |= loads[i] > label.loads[i];
      if (!cheaper_somewhere) return true;
    }
  }
  return false;
}

size_t Frontier::FirstNotBelow(double g) const {
  size_t low = 0;
  size_t high = count_;
  while (low < high) {
    const size_t mid = (low + high) / 2;
    if (GOf(mid) < g) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

void Frontier::MoveStored(size_t from, size_t to) {
  // Pointer arithmetic, not indexing: with no agents a list is empty.
  std::copy_n(keys_.data() + from * stride_, stride_, keys_.data() + to * stride_);
  std::copy_n(costs_.data() + from * num_costs_, num_costs_, costs_.data() + to * num_costs_);
  std::copy_n(loads_.data() + from * num_loads_, num_loads_, loads_.data() + to * num_loads_);
}

int32_t Frontier::Insert(const Label& label) {
  if (count_ == 0) {
    num_costs_ = label.costs.size();
    num_loads_ = label.loads.size();
  } else if (label.costs.size() != num_costs_ || label.loads.size() != num_loads_) {
    throw std::invalid_argument("frontier labels must carry the same number of costs and loads");
  }
  if (std::isnan(label.g)) sorted_ = false;
  // Only labels of no smaller g can be dominated by the new one. Most inserts
  // remove nothing, so the labels are first only tested, a block at a time.
  const size_t first = sorted_ ? FirstNotBelow(label.g) : 0;
  size_t doomed = count_;
  for (size_t block = first; block < count_ && doomed == count_; block += kBlock) {
    uint32_t mask = DominatedIn(block, std::min(kBlock, count_ - block), label);
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
  for (size_t k = doomed; k < count_; ++k) {
    if (DominatesStored(label, k)) continue;
    if (live != k) MoveStored(k, live);
    ++live;
  }
  const auto removed = static_cast<int32_t>(count_ - live);
  count_ = live;
  keys_.resize(count_ * stride_);
  costs_.resize(count_ * num_costs_);
  loads_.resize(count_ * num_loads_);

  const size_t at = sorted_ ? first : count_;
  std::array<uint64_t, 5> key{};
  key[0] = AsBits(label.g);
  std::copy_n(label.visited.words.begin(), visited_words_, key.begin() + 1);
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(at * stride_), key.begin(),
               key.begin() + static_cast<std::ptrdiff_t>(stride_));
  costs_.insert(costs_.begin() + static_cast<std::ptrdiff_t>(at * num_costs_), label.costs.begin(),
                label.costs.end());
  loads_.insert(loads_.begin() + static_cast<std::ptrdiff_t>(at * num_loads_), label.loads.begin(),
                label.loads.end());
  ++count_;
  return removed;
}

uint64_t Frontier::bytes() const {
  return keys_.capacity() * sizeof(uint64_t) + (costs_.capacity() + loads_.capacity()) * sizeof(double);
}

}  // namespace quarn
