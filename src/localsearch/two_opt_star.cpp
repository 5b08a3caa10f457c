#include "localsearch/two_opt_star.h"

#include <utility>
#include <vector>

namespace quarn {

namespace {

// A lower bound of the price of `a`'s path[0..i] followed by `b`'s targets behind
// position j and `a`'s own final depot (travel and service), where
// TravelBoundsPrice holds.
double TailSwappedBound(const LocalModel& model, const LsRoute& a, int32_t i, const LsRoute& b, int32_t j) {
  const int32_t agent = a.agent;
  double travel = a.forward[static_cast<size_t>(i)] + ServiceBetween(model, a, 0, i);
  int32_t last = a.path[static_cast<size_t>(i)];
  if (j + 1 < b.last()) {
    travel += model.Travel(agent, last, b.path[static_cast<size_t>(j) + 1]) +
              StretchTravel(model, b, agent, j + 1, b.last() - 1) + ServiceBetween(model, b, j + 1, b.last() - 1);
    last = b.path[static_cast<size_t>(b.last()) - 1];
  }
  return TravelBound(travel + model.Travel(agent, last, a.path.back()) + model.service(a.path.back()));
}

}  // namespace

// Move.i and Move.j are the cut positions: route r1 keeps path[0..i] and takes
// r2's path[j+1..]; r2 keeps path[0..j] and takes r1's path[i+1..].
bool TwoOptStar::Evaluate(const LsSolution& s, const LsObjective& objective, int32_t u, int32_t v,
                          Move& best) const {
  const int32_t ru = s.route_of(u);
  const int32_t rv = s.route_of(v);
  if (ru == rv) return false;
  const LsRoute& a = s.route(ru);
  const LsRoute& b = s.route(rv);
  const LocalModel& model = s.model();
  const bool bounded = TravelBoundsPrice(s, ru, rv);
  bool found = false;
  // u then v; v then u.
  for (const auto& [i, j] : {std::pair<int32_t, int32_t>{s.pos_of(u), s.pos_of(v) - 1},
                             std::pair<int32_t, int32_t>{s.pos_of(u) - 1, s.pos_of(v)}}) {
    Move m;
    m.r1 = ru;
    m.r2 = rv;
    m.i = i;
    m.j = j;
    if (bounded && objective.Delta(s, ru, TailSwappedBound(model, a, i, b, j), rv,
                                   TailSwappedBound(model, b, j, a, i)) >= best.delta) {
      continue;
    }
    m.cost1 = RouteBuilder(s, ru).Prefix(a, i).Suffix(b, j + 1, a.path.back()).Cost();
    if (!(m.cost1 < kLsInfinity)) continue;
    m.cost2 = RouteBuilder(s, rv).Prefix(b, j).Suffix(a, i + 1, b.path.back()).Cost();
    found = Offer(s, objective, m, best) || found;
  }
  return found;
}

void TwoOptStar::Apply(LsSolution& s, const Move& move) const {
  std::vector<int32_t>& a = s.path(move.r1);
  std::vector<int32_t>& b = s.path(move.r2);
  const int32_t depot_a = a.back();
  const int32_t depot_b = b.back();
  std::vector<int32_t> tail_a(a.begin() + move.i + 1, a.end() - 1);
  std::vector<int32_t> tail_b(b.begin() + move.j + 1, b.end() - 1);
  a.resize(static_cast<size_t>(move.i) + 1);
  a.insert(a.end(), tail_b.begin(), tail_b.end());
  a.push_back(depot_a);
  b.resize(static_cast<size_t>(move.j) + 1);
  b.insert(b.end(), tail_a.begin(), tail_a.end());
  b.push_back(depot_b);
  s.Refresh(move.r1);
  s.Refresh(move.r2);
}

}  // namespace quarn
