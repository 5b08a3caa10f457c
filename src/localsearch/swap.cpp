#include "localsearch/swap.h"

#include <algorithm>
#include <utility>

namespace quarn {

bool Swap::Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                    Move& best) const {
  const int32_t ru = s.route_of(u);
  const int32_t rv = s.route_of(v);
  Move m;
  m.r1 = ru;
  if (ru != rv) {
    m.r2 = rv;
    const LsRoute& a = s.route(ru);
    const LsRoute& b = s.route(rv);
    const int32_t pu = s.pos_of(u);
    const int32_t pv = s.pos_of(v);
    m.i = pu;
    m.j = pv;
    const LocalModel& model = s.model();
    if (TravelBoundsPrice(s, ru, rv) &&
        objective.Delta(s, ru, BoundReplacedBy(model, a, pu - 1, pu + 1, b, pv, pv), rv,
                        BoundReplacedBy(model, b, pv - 1, pv + 1, a, pu, pu)) >= best.delta) {
      return false;
    }
    m.cost1 = RouteBuilder(s, ru).Prefix(a, pu - 1).Node(v).Suffix(a, pu + 1, a.path.back()).Cost();
    if (!(m.cost1 < kLsInfinity)) return false;
    m.cost2 = RouteBuilder(s, rv).Prefix(b, pv - 1).Node(u).Suffix(b, pv + 1, b.path.back()).Cost();
    return Offer(s, objective, m, best);
  }
  const LsRoute& r = s.route(ru);
  const int32_t p = std::min(s.pos_of(u), s.pos_of(v));
  const int32_t q = std::max(s.pos_of(u), s.pos_of(v));
  m.i = p;
  m.j = q;
  RouteBuilder builder(s, ru);
  builder.Prefix(r, p - 1).Node(r.path[static_cast<size_t>(q)]);
  // Neighbours have nothing between them; a backward range would visit both again.
  if (q > p + 1) builder.Range(r, p + 1, q - 1);
  m.cost1 = builder.Node(r.path[static_cast<size_t>(p)]).Suffix(r, q + 1, r.path.back()).Cost();
  return Offer(s, objective, m, best);
}

void Swap::Apply(LsSolution& s, const Move& move) const {
  if (move.r2 < 0) {
    std::vector<int32_t>& p = s.path(move.r1);
    std::swap(p[static_cast<size_t>(move.i)], p[static_cast<size_t>(move.j)]);
    s.Refresh(move.r1);
    return;
  }
  std::swap(s.path(move.r1)[static_cast<size_t>(move.i)], s.path(move.r2)[static_cast<size_t>(move.j)]);
  s.Refresh(move.r1);
  s.Refresh(move.r2);
}

}  // namespace quarn
