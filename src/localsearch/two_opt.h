#pragma once

#include "localsearch/move_operator.h"

namespace quarn {

// Within one route: reverses the stretch between u and v so that they become
// neighbours. The reversed stretch is walked (windows do not reverse in O(1)).
class TwoOpt : public MoveOperator {
 public:
  bool Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                Move& best) const override;
  void Apply(LsSolution& s, const Move& move) const override;
  const char* name() const override { return "2-opt"; }
};

}  // namespace quarn
