#include "localsearch/cross_exchange.h"

#include <vector>

namespace quarn {

// Move.i: u's position, Move.a: length behind it; Move.j: v's position, Move.b: length.
bool CrossExchange::Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u,
                             int32_t v, Move& best) const {
  const int32_t ru = s.route_of(u);
  const int32_t rv = s.route_of(v);
  if (ru == rv) return false;
  const LsRoute& a = s.route(ru);
  const LsRoute& b = s.route(rv);
  const int32_t pu = s.pos_of(u);
  const int32_t pv = s.pos_of(v);
  const LocalModel& model = s.model();
  const bool bounded = TravelBoundsPrice(s, ru, rv);
  bool found = false;
  for (int32_t la = 1; la <= 3 && pu + la <= a.last() - 1; ++la) {
    for (int32_t lb = 1; lb <= 3 && pv + lb - 1 <= b.last() - 1; ++lb) {
      if (bounded && objective.Delta(s, ru, BoundReplacedBy(model, a, pu, pu + la + 1, b, pv, pv + lb - 1), rv,
                                     BoundReplacedBy(model, b, pv - 1, pv + lb, a, pu + 1, pu + la)) >= best.delta) {
        continue;
      }
      Move m;
      m.r1 = ru;
      m.r2 = rv;
      m.i = pu;
      m.a = la;
      m.j = pv;
      m.b = lb;
      m.cost1 = RouteBuilder(s, ru)
                    .Prefix(a, pu)
                    .Range(b, pv, pv + lb - 1)
                    .Suffix(a, pu + la + 1, a.path.back())
                    .Cost();
      if (!(m.cost1 < kLsInfinity)) continue;
      m.cost2 = RouteBuilder(s, rv)
                    .Prefix(b, pv - 1)
                    .Range(a, pu + 1, pu + la)
                    .Suffix(b, pv + lb, b.path.back())
                    .Cost();
      found = Offer(s, objective, m, best) || found;
    }
  }
  return found;
}

void CrossExchange::Apply(LsSolution& s, const Move& move) const {
  std::vector<int32_t>& a = s.path(move.r1);
  std::vector<int32_t>& b = s.path(move.r2);
  const auto ia = a.begin() + move.i + 1;
  const auto ib = b.begin() + move.j;
  std::vector<int32_t> seg_a(ia, ia + move.a);
  std::vector<int32_t> seg_b(ib, ib + move.b);
  a.erase(ia, ia + move.a);
  a.insert(a.begin() + move.i + 1, seg_b.begin(), seg_b.end());
  b.erase(b.begin() + move.j, b.begin() + move.j + move.b);
  b.insert(b.begin() + move.j, seg_a.begin(), seg_a.end());
  s.Refresh(move.r1);
  s.Refresh(move.r2);
}

}  // namespace quarn
