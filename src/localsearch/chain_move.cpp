#include "localsearch/chain_move.h"

#include <algorithm>
#include <vector>

namespace quarn {
namespace {

RouteBuilder& AddChain(RouteBuilder& builder, const LsRoute& route, int32_t i, int32_t len,
                       bool reversed) {
  return reversed ? builder.Range(route, i + len - 1, i) : builder.Range(route, i, i + len - 1);
}

}  // namespace

void PriceChainMove(const LsSolution& s, int32_t from, int32_t i, int32_t len, bool reversed,
                    int32_t to, int32_t gap, double& cost_from, double& cost_to) {
  const LocalModel& model = s.model();
  const LsRoute& rf = s.route(from);
  const int32_t after = i + len;  // first position behind the chain
  cost_from = cost_to = kLsInfinity;
  if (from != to) {
    const LsRoute& rt = s.route(to);
    RouteBuilder left(model, from);
    cost_from = left.Prefix(rf, i - 1).Suffix(rf, after, rf.path.back()).Cost();
    if (!(cost_from < kLsInfinity)) return;
    RouteBuilder right(model, to);
    right.Prefix(rt, gap - 1);
    AddChain(right, rf, i, len, reversed);
    cost_to = right.Suffix(rt, gap, rt.path.back()).Cost();
    return;
  }
  RouteBuilder b(model, from);
  if (gap <= i) {
    b.Prefix(rf, gap - 1);
    AddChain(b, rf, i, len, reversed);
    b.Range(rf, gap, i - 1);
  } else {
    b.Prefix(rf, i - 1);
    b.Range(rf, after, gap - 1);
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
