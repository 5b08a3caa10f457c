#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "records/label.h"

namespace quarn {

// The labels already expanded at one joint position that no other stored label
// dominates. Only what dominance reads is kept, in ascending g, so a scan reads
// only the labels whose g allows dominance at all: each label's g with its
// visited words side by side (read by every scan), its costs apart (read by few),
// and its loads apart when capacities are enforced.
class Frontier {
 public:
  // Labels of one search carry one cost per agent and visited sets whose words
  // from `visited_words` on are equal (all ones); only the first are compared.
  explicit Frontier(size_t visited_words = 4);
  virtual ~Frontier() = default;
  // True when some stored label is at least as good as `label` in every respect.
  virtual bool Dominates(const Label& label) const;
  // Removes the stored labels that `label` dominates, stores it, and returns how
  // many went. Throws std::invalid_argument for a label whose number of costs
  // differs from the stored ones'.
  virtual int32_t Insert(const Label& label);

  size_t size() const { return count_; }
  // Bytes held by the stored labels.
  uint64_t bytes() const;

 private:
  uint32_t CandidatesIn(size_t first, size_t count, const Label& label) const;
  uint32_t DominatedIn(size_t first, size_t count, const Label& label) const;
  bool DominatesStored(const Label& label, size_t k) const;
  void MoveStored(size_t from, size_t to);
  size_t FirstNotBelow(double g) const;
  double GOf(size_t k) const {
    double g;
    std::memcpy(&g, keys_.data() + k * stride_, sizeof(g));
    return g;
  }

  size_t visited_words_;
  size_t stride_;  // words per label in keys_: g, then the visited words
  size_t num_costs_ = 0;
  size_t num_loads_ = 0;  // 0 unless the labels carry loads
  size_t count_ = 0;
  bool sorted_ = true;  // ascending g; given up for good once a g is NaN
  std::vector<uint64_t> keys_;
  std::vector<double> costs_;  // num_costs_ per label
  std::vector<double> loads_;  // num_loads_ per label
};

// `a` dominates `b`: no larger g, no larger cost nor load for any of a's agents,
// and every node visited in `b` also visited in `a`. Equal labels dominate each other.
bool LabelDominates(const Label& a, const Label& b);

}  // namespace quarn
