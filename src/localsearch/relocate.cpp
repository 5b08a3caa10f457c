#include "localsearch/relocate.h"

#include "localsearch/chain_move.h"

namespace quarn {

bool Relocate::Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                        Move& best) const {
  const int32_t ru = s.route_of(u);
  const int32_t rv = s.route_of(v);
  const int32_t pu = s.pos_of(u);
  const int32_t pv = s.pos_of(v);
  bool found = false;
  for (int32_t gap : {pv + 1, pv}) {
    if (ru == rv && (gap == pu || gap == pu + 1)) continue;
    Move m;
    m.r1 = ru;
    m.r2 = ru == rv ? -1 : rv;
    m.i = pu;
    m.j = gap;
    PriceChainMove(s, objective, best.delta, ru, pu, 1, false, rv, gap, m.cost1, m.cost2);
    found = Offer(s, objective, m, best) || found;
  }
  return found;
}

bool Relocate::EvaluateIdle(const LsSolution& s, const LsObjective& objective, int32_t u,
                            int32_t route, Move& best) const {
  const int32_t ru = s.route_of(u);
  if (ru == route) return false;
  Move m;
  m.r1 = ru;
  m.r2 = route;
  m.i = s.pos_of(u);
  m.j = 1;
  PriceChainMove(s, objective, best.delta, ru, m.i, 1, false, route, 1, m.cost1, m.cost2);
  return Offer(s, objective, m, best);
}

void Relocate::Apply(LsSolution& s, const Move& move) const {
  ApplyChainMove(s, move.r1, move.i, 1, false, move.r2 < 0 ? move.r1 : move.r2, move.j);
}

}  // namespace quarn
