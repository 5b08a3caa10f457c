#include "localsearch/chain_move.h"

#include <algorithm>
#include <vector>

namespace quarn {
namespace {

RouteBuilder& AddChain(RouteBuilder& builder, const LsRoute& route, int32_t i, int32_t len,
                       bool reversed) {
  return reversed ? builder.Range(route, i + len - 1, i) : builder.Range(route, i, i + len - 1);
}

// The route's travel after moving the chain within it, from the travel sums in
// O(1); +infinity where an arc is missing.
double TravelAfterMoveWithin(const LocalModel& model, const LsRoute& route, int32_t i, int32_t len,
                             bool reversed, int32_t gap) {
  const double total = route.forward.back();
  if (!(total < kLsInfinity)) return kLsInfinity;
  auto node = [&](int32_t p) { return route.path[static_cast<size_t>(p)]; };
  auto arc = [&](int32_t a, int32_t b) { return model.Travel(route.agent, a, b); };
  const int32_t head = i + len - 1;
  const auto fi = static_cast<size_t>(i);
  const auto fh = static_cast<size_t>(head);
  const double inner = reversed ? route.backward[fh] - route.backward[fi] : route.forward[fh] - route.forward[fi];
  const int32_t first = reversed ? node(head) : node(i);
  const int32_t last = reversed ? node(i) : node(head);
  return total - arc(node(i - 1), node(i)) - arc(node(head), node(head + 1)) + arc(node(i - 1), node(head + 1)) -
         arc(node(gap - 1), node(gap)) + arc(node(gap - 1), first) + arc(last, node(gap)) - route.forward[fh] +
         route.forward[fi] + inner;
}

}  // namespace

void PriceChainMove(const LsSolution& s, const LsObjective& objective, double beat, int32_t from,
                    int32_t i, int32_t len, bool reversed, int32_t to, int32_t gap,
                    double& cost_from, double& cost_to) {
  const LocalModel& model = s.model();
  const LsRoute& rf = s.route(from);
  const int32_t after = i + len;  // first position behind the chain
  cost_from = cost_to = kLsInfinity;
  if (from != to) {
    const LsRoute& rt = s.route(to);
    if (TravelBoundsPrice(s, from, to)) {
      const int32_t head = after - 1;
      const double bound_from =
          len == 1 ? s.RemovalPrice(from, i) : BoundReplaced(model, rf, i - 1, after, -1, -1, 0.0, 0.0);
      const double bound_to = BoundReplacedBy(model, rt, gap - 1, gap, rf, reversed ? head : i, reversed ? i : head);
      if (objective.Delta(s, from, bound_from, to, bound_to) >= beat) return;
    }
    if (len == 1) {
      cost_from = s.RemovalPrice(from, i);
    } else {
      cost_from = RouteBuilder(s, from).Prefix(rf, i - 1).Suffix(rf, after, rf.path.back()).Cost();
    }
    if (!(cost_from < kLsInfinity)) return;
    RouteBuilder right(s, to);
    right.Prefix(rt, gap - 1);
    AddChain(right, rf, i, len, reversed);
    cost_to = right.Suffix(rt, gap, rt.path.back()).Cost();
    return;
  }
  // The travel bounds the duration, not the distance. With windows the plain
  // travel bounds a move within a route on any route (it drops all that the
  // lowered bound below would); without, the travel and service do.
  if (model.has_windows() && !model.by_distance()) {
    if (!(objective.Delta(s, from, TravelAfterMoveWithin(model, rf, i, len, reversed, gap), -1, 0.0) < beat)) return;
  } else if (TravelBoundsPrice(s, from)) {
    const double travel = TravelAfterMoveWithin(model, rf, i, len, reversed, gap) + RouteService(model, rf);
    if (objective.Delta(s, from, TravelBound(travel), -1, 0.0) >= beat) return;
  }
  RouteBuilder b(s, from);
  if (gap <= i) {
    b.Prefix(rf, gap - 1);
    AddChain(b, rf, i, len, reversed);
    // An empty stretch is skipped: a backward range would repeat its ends.
    if (gap < i) b.Range(rf, gap, i - 1);
  } else {
    b.Prefix(rf, i - 1);
    if (gap > after) b.Range(rf, after, gap - 1);
    AddChain(b, rf, i, len, reversed);
  }
  cost_from = b.Suffix(rf, std::max(gap, after), rf.path.back()).Cost();
}

void ApplyChainMove(LsSolution& s, int32_t from, int32_t i, int32_t len, bool reversed, int32_t to,
                    int32_t gap) {
  std::vector<int32_t>& pf = s.path(from);
  std::vector<int32_t> chain(pf.begin() + i, pf.begin() + i + len);
  if (reversed) std::reverse(chain.begin(), chain.end());
  pf.erase(pf.begin() + i, pf.begin() + i + len);
  if (from == to && gap > i) gap -= len;
  std::vector<int32_t>& pt = s.path(to);
  pt.insert(pt.begin() + gap, chain.begin(), chain.end());
  s.Refresh(from);
  if (to != from) s.Refresh(to);
}

}  // namespace quarn
