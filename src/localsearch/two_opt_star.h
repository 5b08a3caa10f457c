#pragma once

#include "localsearch/move_operator.h"

namespace quarn {

// Between two routes: exchanges their tails so that u is followed by v (or v by u).
class TwoOptStar : public MoveOperator {
 public:
  bool Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                Move& best) const override;
  void Apply(LsSolution& s, const Move& move) const override;
  const char* name() const override { return "2-opt*"; }
};

}  // namespace quarn
