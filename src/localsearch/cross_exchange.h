#pragma once

#include "localsearch/move_operator.h"

namespace quarn {

// Between two routes: exchanges the 1-3 targets behind u with the 1-3 targets
// from v on, so that u is followed by v.
class CrossExchange : public MoveOperator {
 public:
  bool Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                Move& best) const override;
  void Apply(LsSolution& s, const Move& move) const override;
  const char* name() const override { return "cross"; }
};

}  // namespace quarn
