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
  const LocalModel& model = s.model();
  const bool bounded = TravelBoundsPrice(s, r);
  // u and v become neighbours either by their successors' arcs or by their
  // predecessors' (the stretch reversed ends one earlier).
  bool found = false;
  for (int32_t shift : {0, 1}) {
    const int32_t i = p - shift;
    const int32_t j = q - shift;
    if (j <= i + 1) continue;
    Move m;
    m.r1 = r;
    m.i = i;
    m.j = j;
    // The stretch between the cuts, reversed in place.
    if (bounded &&
        objective.Delta(s, r, BoundReplacedBy(model, route, i, j + 1, route, j, i + 1), -1, 0.0) >= best.delta) {
      continue;
    }
    m.cost1 = RouteBuilder(s, r)
                  .Prefix(route, i)
                  .Range(route, j, i + 1)
                  .Suffix(route, j + 1, route.path.back())
                  .Cost();
    found = Offer(s, objective, m, best) || found;
  }
  return found;
}

void TwoOpt::Apply(LsSolution& s, const Move& move) const {
  std::vector<int32_t>& p = s.path(move.r1);
  std::reverse(p.begin() + move.i + 1, p.begin() + move.j + 1);
  s.Refresh(move.r1);
}

}  // namespace quarn
