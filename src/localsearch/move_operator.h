#pragma once

#include <cstdint>

#include "localsearch/objective.h"
#include "localsearch/solution.h"

namespace quarn {

// One priced move: which routes change, the operator's own positions, and the
// new route costs it was priced at.
struct Move {
  int32_t r1 = -1;
  int32_t r2 = -1;  // -1 when only r1 changes
  int32_t i = 0;
  int32_t j = 0;
  int32_t a = 0;
  int32_t b = 0;
  bool reversed = false;
  double cost1 = 0.0;
  double cost2 = 0.0;
  double delta = 0.0;
};

// A neighbourhood: Evaluate prices, in constant time from the routes' cached
// timing where the move allows it, the moves that bring target u next to target
// v and keeps the best one below `best.delta`; Apply performs a move Evaluate returned.
class MoveOperator {
 public:
  virtual ~MoveOperator() = default;
  virtual bool Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                        Move& best) const = 0;
  // The moves that give target u to the idle route `route`; none by default.
  virtual bool EvaluateIdle(const LsSolution& /*s*/, const LsObjective& /*objective*/, int32_t /*u*/,
                            int32_t /*route*/, Move& /*best*/) const {
    return false;
  }
  virtual void Apply(LsSolution& s, const Move& move) const = 0;
  // A short name for the counts a benchmark prints.
  virtual const char* name() const = 0;

 protected:
  // Keeps the candidate when it beats `best`.
  static bool Offer(const LsSolution& s, const LsObjective& objective, Move candidate, Move& best) {
    if (!(candidate.cost1 < kLsInfinity) || (candidate.r2 >= 0 && !(candidate.cost2 < kLsInfinity))) {
      return false;
    }
    candidate.delta = objective.Delta(s, candidate.r1, candidate.cost1, candidate.r2, candidate.cost2);
    if (!(candidate.delta < best.delta)) return false;
    best = candidate;
    return true;
  }
};

}  // namespace quarn
