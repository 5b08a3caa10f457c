#pragma once

#include "localsearch/move_operator.h"

namespace quarn {

// Exchanges the places of targets u and v (same route or two routes).
class Swap : public MoveOperator {
 public:
  bool Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                Move& best) const override;
  void Apply(LsSolution& s, const Move& move) const override;
  const char* name() const override { return "swap"; }
};

}  // namespace quarn
