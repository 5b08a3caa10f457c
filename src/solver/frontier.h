#pragma once

#include <cstdint>
#include <vector>

#include "solver/label.h"

namespace quarn {

// The labels already expanded at one joint position that no other stored label
// dominates. A flat sequence: positions rarely hold many labels, and a linear
// scan over four bit words and a few costs is cheaper than any index.
class Frontier {
 public:
  virtual ~Frontier() = default;
  // True when some stored label is at least as good as `label` in every respect.
  virtual bool Dominates(const Label& label) const;
  // Removes the stored labels that `label` dominates, stores it, and returns how many went.
  virtual int32_t Insert(Label label);

  std::vector<Label> labels;
};

// `a` dominates `b`: no larger g, no larger cost for any of a's agents, and
// every node visited in `b` also visited in `a`. Equal labels dominate each other.
bool LabelDominates(const Label& a, const Label& b);

}  // namespace quarn
