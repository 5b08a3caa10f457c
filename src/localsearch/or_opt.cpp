#include "localsearch/or_opt.h"

#include "localsearch/chain_move.h"

namespace quarn {

bool OrOpt::Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                     Move& best) const {
  const int32_t ru = s.route_of(u);
  const int32_t rv = s.route_of(v);
  const int32_t pu = s.pos_of(u);
  const int32_t pv = s.pos_of(v);
  const LsRoute& route = s.route(ru);
  bool found = false;
  for (int32_t len = 2; len <= 3; ++len) {
    if (pu + len - 1 > route.last() - 1) break;
    for (int32_t gap : {pv + 1, pv}) {
      // A gap inside or at the ends of the chain leaves the route as it is.
      if (ru == rv && gap >= pu && gap <= pu + len) continue;
      for (bool reversed : {false, true}) {
        Move m;
        m.r1 = ru;
        m.r2 = ru == rv ? -1 : rv;
        m.i = pu;
        m.j = gap;
        m.a = len;
        m.reversed = reversed;
        PriceChainMove(s, objective, best.delta, ru, pu, len, reversed, rv, gap, m.cost1, m.cost2);
        found = Offer(s, objective, m, best) || found;
      }
    }
  }
  return found;
}

void OrOpt::Apply(LsSolution& s, const Move& move) const {
  ApplyChainMove(s, move.r1, move.i, move.a, move.reversed, move.r2 < 0 ? move.r1 : move.r2,
                 move.j);
}

}  // namespace quarn
