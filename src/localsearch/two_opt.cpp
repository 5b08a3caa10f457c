#include "localsearch/two_opt.h"

#include <algorithm>

namespace quarn {

bool TwoOpt::Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                      Move& best) const {
  const int32_t r = s.route_of(u);
  if (s.route_of(v) != r) return false;
  const int32_t p = std::min(s.pos_of(u), s.pos_of(v));
  const int32_t q = std::max(s.pos_of(u), s.pos_of(v));
  if (q <= p + 1) return false;
  const LsRoute& route = s.route(r);
  Move m;
  m.r1 = r;
  m.i = p;
  m.j = q;
  m.cost1 = RouteBuilder(s, r)
                .Prefix(route, p)
                .Range(route, q, p + 1)
                .Suffix(route, q + 1, route.path.back())
                .Cost();
  return Offer(s, objective, m, best);
}

void TwoOpt::Apply(LsSolution& s, const Move& move) const {
  std::vector<int32_t>& p = s.path(move.r1);
  std::reverse(p.begin() + move.i + 1, p.begin() + move.j + 1);
  s.Refresh(move.r1);
}

}  // namespace quarn
