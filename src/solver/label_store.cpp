#include "solver/label_store.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quarn {
namespace {

constexpr size_t kWordBytes = sizeof(uint64_t);
constexpr int32_t kMaxStoredNode = 255;  // positions are kept in one byte
constexpr size_t kChunkBytes = 256 * 1024;


template <typename T>
T Get(const unsigned char* at) {
  T value;
  std::memcpy(&value, at, sizeof(T));
  return value;
}

template <typename T>
void Put(unsigned char* at, T value) {
  std::memcpy(at, &value, sizeof(T));
}

[[noreturn]] void Misfit(const std::string& what) {
  throw std::invalid_argument("label does not fit the label pool: " + what);
}

}  // namespace

void LabelStore::Reset(size_t num_agents, int32_t visited_size, bool loads) {
  num_agents_ = num_agents;
  visited_size_ = visited_size;
  visited_words_ = visited_size > 0 ? (static_cast<size_t>(visited_size) + 63) / 64 : 0;
  costs_at_ = 3 * sizeof(double);
  visited_at_ = costs_at_ + num_agents_ * sizeof(double);
  links_at_ = visited_at_ + visited_words_ * kWordBytes;
  // With fewer than 257 agents the moving agent fits in a byte.
  agent_bytes_ = num_agents_ <= 256 ? 1 : sizeof(int32_t);
  positions_at_ = links_at_ + sizeof(int32_t) + agent_bytes_;
  finished_at_ = positions_at_ + num_agents_;
  // Unpadded: every field is read through memcpy, so none needs alignment.
  loads_ = loads;
  loads_at_ = finished_at_ + num_agents_;
  record_bytes_ = loads_at_ + (loads_ ? num_agents_ * sizeof(double) : 0);
  chunk_records_ = std::max<size_t>(1, kChunkBytes / record_bytes_);
  size_ = 0;
  chunks_.clear();
}

void LabelStore::Reserve(int32_t id) {
  if (id < 0 || static_cast<size_t>(id) != size_) {
    throw std::invalid_argument("label ids must be reserved in turn");
  }
  if (size_ == chunks_.size() * chunk_records_) chunks_.emplace_back(chunk_records_ * record_bytes_);
  ++size_;
}

unsigned char* LabelStore::Record(int32_t id) {
  const auto index = static_cast<size_t>(id);
  return chunks_[index / chunk_records_].data() + (index % chunk_records_) * record_bytes_;
}

const unsigned char* LabelStore::Record(int32_t id) const {
  const auto index = static_cast<size_t>(id);
  return chunks_[index / chunk_records_].data() + (index % chunk_records_) * record_bytes_;
}

void LabelStore::Write(int32_t id, const Label& label, int32_t parent) {
  if (id < 0 || static_cast<size_t>(id) >= size_) Misfit("id " + std::to_string(id) + " not reserved");
  if (label.costs.size() != num_agents_ || label.positions.size() != num_agents_ ||
      label.finished.size() != num_agents_ || label.loads.size() != (loads_ ? num_agents_ : 0)) {
    Misfit("agent count");
  }
  if (label.visited.size != visited_size_) Misfit("visited-set size");
  for (size_t w = visited_words_; w < label.visited.words.size(); ++w) {
    if (label.visited.words[w] != ~uint64_t{0}) Misfit("node beyond the visited-set size");
  }
  unsigned char* record = Record(id);
  Put(record, label.f);
  Put(record + sizeof(double), label.g);
  Put(record + 2 * sizeof(double), label.h);
  // An empty vector's data may be null, and memcpy from null is undefined even for 0 bytes.
  if (num_agents_ != 0) std::memcpy(record + costs_at_, label.costs.data(), num_agents_ * sizeof(double));
  std::memcpy(record + visited_at_, label.visited.words.data(), visited_words_ * kWordBytes);
  Put(record + links_at_, parent);
  if (agent_bytes_ == 1) {
    if (label.last_agent < 0 || label.last_agent > 255) Misfit("moving agent");
    record[links_at_ + sizeof(int32_t)] = static_cast<unsigned char>(label.last_agent);
  } else {
    Put(record + links_at_ + sizeof(int32_t), label.last_agent);
  }
  int32_t unfinished = 0;
  for (size_t a = 0; a < num_agents_; ++a) {
    const int32_t position = label.positions[a];
    if (position < 0 || position > kMaxStoredNode) Misfit("position " + std::to_string(position));
    record[positions_at_ + a] = static_cast<unsigned char>(position);
    record[finished_at_ + a] = label.finished[a];
    if (label.finished[a] == 0) ++unfinished;
  }
  if (loads_ && num_agents_ != 0) std::memcpy(record + loads_at_, label.loads.data(), num_agents_ * sizeof(double));
  // The count of unfinished agents is not stored: it follows from the flags.
  if (unfinished != label.remaining) Misfit("remaining agents");
}

void LabelStore::Read(int32_t id, Label& out) const {
  const unsigned char* record = Record(id);
  out.id = id;
  out.f = Get<double>(record);
  out.g = Get<double>(record + sizeof(double));
  out.h = Get<double>(record + 2 * sizeof(double));
  out.costs.resize(num_agents_);
  if (num_agents_ != 0) std::memcpy(out.costs.data(), record + costs_at_, num_agents_ * sizeof(double));
  out.visited.words.fill(~uint64_t{0});
  std::memcpy(out.visited.words.data(), record + visited_at_, visited_words_ * kWordBytes);
  out.visited.size = visited_size_;
  out.last_agent = last_agent(id);
  out.positions.resize(num_agents_);
  out.finished.resize(num_agents_);
  out.remaining = 0;
  for (size_t a = 0; a < num_agents_; ++a) {
    out.positions[a] = record[positions_at_ + a];
    out.finished[a] = record[finished_at_ + a];
    if (out.finished[a] == 0) ++out.remaining;
  }
  if (loads_) {
    out.loads.resize(num_agents_);
    if (num_agents_ != 0) std::memcpy(out.loads.data(), record + loads_at_, num_agents_ * sizeof(double));
  } else {
    out.loads.clear();
  }
}

int32_t LabelStore::parent(int32_t id) const { return Get<int32_t>(Record(id) + links_at_); }

int32_t LabelStore::last_agent(int32_t id) const {
  const unsigned char* at = Record(id) + links_at_ + sizeof(int32_t);
  if (agent_bytes_ == 1) return *at;
  return Get<int32_t>(at);
}

int32_t LabelStore::position(int32_t id, int32_t agent) const {
  return Record(id)[positions_at_ + static_cast<size_t>(agent)];
}

double LabelStore::cost(int32_t id, int32_t agent) const {
  return Get<double>(Record(id) + costs_at_ + static_cast<size_t>(agent) * sizeof(double));
}

uint64_t LabelStore::bytes() const {
  return chunks_.size() * chunk_records_ * record_bytes_ +
         chunks_.capacity() * sizeof(Chunk);
}

}  // namespace quarn
