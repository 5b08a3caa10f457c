#pragma once

#include "localsearch/move_operator.h"

namespace quarn {

// Moves the chain of 2 or 3 targets that starts at u, as it is or reversed, next
// to v (after or before it); mostly within one route, between routes too.
class OrOpt : public MoveOperator {
 public:
  bool Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                Move& best) const override;
  void Apply(LsSolution& s, const Move& move) const override;
  const char* name() const override { return "or-opt"; }
};

}  // namespace quarn
