#include "solver/position_index.h"

#include <stdexcept>
#include <string>

namespace quarn {
namespace {

constexpr size_t kFirstSlots = 64;

}  // namespace

void PositionIndex::Reset(size_t num_agents) {
  num_agents_ = num_agents;
  count_ = 0;
  keys_.clear();
  slots_.assign(kFirstSlots, -1);
}

uint64_t PositionIndex::Hash(const int32_t* positions) const {
  uint64_t hash = 0x9E3779B97F4A7C15ull;
  for (size_t a = 0; a < num_agents_; ++a) {
    hash = (hash ^ static_cast<uint32_t>(positions[a])) * 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 29;
  }
  return hash;
}

bool PositionIndex::SameAs(int32_t k, const int32_t* positions) const {
  // Pointer arithmetic, not indexing: with no agents the key list is empty.
  const int32_t* key = keys_.data() + static_cast<size_t>(k) * num_agents_;
  for (size_t a = 0; a < num_agents_; ++a) {
    if (key[a] != positions[a]) return false;
  }
  return true;
}

size_t PositionIndex::SlotOf(const int32_t* positions) const {
  const size_t mask = slots_.size() - 1;
  for (size_t slot = Hash(positions) & mask;; slot = (slot + 1) & mask) {
    const int32_t k = slots_[slot];
    if (k < 0 || SameAs(k, positions)) return slot;
  }
}

int32_t PositionIndex::Find(const std::vector<int32_t>& positions) const {
  if (positions.size() != num_agents_) {
    throw std::invalid_argument("joint position of " + std::to_string(positions.size()) +
                                " agents in a search of " + std::to_string(num_agents_));
  }
  if (slots_.empty()) return -1;
  return slots_[SlotOf(positions.data())];
}

int32_t PositionIndex::FindOrAdd(const std::vector<int32_t>& positions) {
  const int32_t known = Find(positions);
  if (known >= 0) return known;
  // At most half full, so probes stay short.
  if (slots_.empty() || (count_ + 1) * 2 > slots_.size()) Grow();
  const auto k = static_cast<int32_t>(count_++);
  keys_.insert(keys_.end(), positions.begin(), positions.end());
  slots_[SlotOf(positions.data())] = k;
  return k;
}

void PositionIndex::Grow() {
  slots_.assign(slots_.empty() ? kFirstSlots : slots_.size() * 2, -1);
  for (size_t k = 0; k < count_; ++k) {
    slots_[SlotOf(keys_.data() + k * num_agents_)] = static_cast<int32_t>(k);
  }
}

std::vector<int32_t> PositionIndex::PositionsOf(int32_t k) const {
  const auto first = keys_.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(k) * num_agents_);
  return std::vector<int32_t>(first, first + static_cast<std::ptrdiff_t>(num_agents_));
}

uint64_t PositionIndex::bytes() const {
  return keys_.capacity() * sizeof(int32_t) + slots_.capacity() * sizeof(int32_t);
}

}  // namespace quarn
