#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "records/label.h"

namespace quarn {

// Hands out storage without writing it: every record of the pool is written
// before it is read, so clearing a new chunk first would be wasted work.
template <typename T>
struct UnclearedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UnclearedAllocator<U>;
  };
  UnclearedAllocator() = default;
  template <typename U>
  UnclearedAllocator(const UnclearedAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* place) noexcept {
    ::new (static_cast<void*>(place)) U;  // default-initialised: no write
  }
};

// The label pool: every label of a search, kept until the search ends, each in
// one fixed-size record addressed by its id. A record holds f, g, h, each
// agent's cost, the visited words that can differ between labels, the parent,
// the moving agent (a byte while there are at most 256 agents), and each
// agent's position and finished flag in a byte, and, while capacities are
// enforced, each agent's load.
// Records live in chunks that never move, so growing the pool copies nothing.
class LabelStore {
 public:
  // Forgets every label and sets the record layout for labels of `num_agents`
  // agents whose visited sets hold `visited_size` nodes (at most 256), with a
  // load per agent when `loads` is true.
  void Reset(size_t num_agents, int32_t visited_size, bool loads = false);

  // Makes room for the record of `id`, which must be the next id in turn.
  void Reserve(int32_t id);
  // Writes `label` (its id, f, g, h, costs, positions, finished flags, visited
  // set, last agent and loads) as the record of `id`. Throws std::invalid_argument for
  // a label whose shape does not fit the layout.
  void Write(int32_t id, const Label& label, int32_t parent);
  // Fills `out` with the label of `id`, reusing its storage.
  void Read(int32_t id, Label& out) const;

  int32_t parent(int32_t id) const;
  int32_t last_agent(int32_t id) const;
  int32_t position(int32_t id, int32_t agent) const;
  double cost(int32_t id, int32_t agent) const;

  size_t size() const { return size_; }
  // Words of a visited set that can differ between labels of this search.
  size_t visited_words() const { return visited_words_; }
  // Bytes held by the chunks and their index.
  uint64_t bytes() const;

  // Records per chunk: about a quarter megabyte, so the pool grows in small steps.
  size_t chunk_records() const { return chunk_records_; }

 private:
  unsigned char* Record(int32_t id);
  const unsigned char* Record(int32_t id) const;

  size_t num_agents_ = 0;
  int32_t visited_size_ = 0;
  size_t visited_words_ = 0;  // words below visited_size_; the others are all ones
  size_t record_bytes_ = 0;
  size_t costs_at_ = 0;
  size_t visited_at_ = 0;
  size_t links_at_ = 0;  // parent and last agent
  size_t agent_bytes_ = 1;
  size_t positions_at_ = 0;
  size_t finished_at_ = 0;
  bool loads_ = false;
  size_t loads_at_ = 0;
  size_t size_ = 0;
  size_t chunk_records_ = 1;
  using Chunk = std::vector<unsigned char, UnclearedAllocator<unsigned char>>;
  std::vector<Chunk> chunks_;  // each sized once, so records never move
};

}  // namespace quarn
