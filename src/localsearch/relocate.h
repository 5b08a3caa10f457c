#pragma once

#include "localsearch/move_operator.h"

namespace quarn {

// Moves target u right after or right before v, in v's route (any route).
class Relocate : public MoveOperator {
 public:
  bool Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                Move& best) const override;
  bool EvaluateIdle(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t route,
                    Move& best) const override;
  void Apply(LsSolution& s, const Move& move) const override;
  const char* name() const override { return "relocate"; }
};

}  // namespace quarn
