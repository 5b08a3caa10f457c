#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

// Numbers the distinct joint positions of a search (0, 1, 2, ... in order of
// first sight), so each can own a frontier. Positions are compared in full;
// the hash only chooses where to look.
class PositionIndex {
 public:
  // Forgets every position; keys from now on hold `num_agents` node indices.
  void Reset(size_t num_agents);
  // The number of `positions`, or -1 when they have none yet. Throws
  // std::invalid_argument when their length is not the agent count.
  int32_t Find(const std::vector<int32_t>& positions) const;
  // The number of `positions`, which get the next number when they are new.
  int32_t FindOrAdd(const std::vector<int32_t>& positions);
  size_t size() const { return count_; }
  // The positions numbered `k`.
  std::vector<int32_t> PositionsOf(int32_t k) const;
  uint64_t bytes() const;

 private:
  uint64_t Hash(const int32_t* positions) const;
  bool SameAs(int32_t k, const int32_t* positions) const;
  // The slot of `positions`: holding their number, or empty (-1) where it would go.
  size_t SlotOf(const int32_t* positions) const;
  void Grow();

  size_t num_agents_ = 0;
  size_t count_ = 0;
  std::vector<int32_t> keys_;   // num_agents_ per number
  std::vector<int32_t> slots_;  // numbers by hash, -1 where empty; a power of two long
};

}  // namespace quarn
