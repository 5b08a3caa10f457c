#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

#include "solver/solver.h"

namespace quarn {
namespace {

constexpr double kNoWay = std::numeric_limits<double>::max();
constexpr double kNoEnd = std::numeric_limits<double>::infinity();

struct Window {
  double open = 0.0;
  double close = kNoEnd;
  bool present = false;
};

Window WindowOf(const TimeWindowMap& windows, int32_t node) {
  auto it = windows.find(node);
  if (it == windows.end()) return {};
  return {it->second.first, it->second.second, true};
}

// The cheapest time of the arc `cost` from a node with window `from` into one with
// window `to`, counting the least waiting the windows force; kNoWay when it cannot
// make it in time.
// A service at `from` delays the departure: the latest one is its close plus the service.
double WindowedCost(double cost, double missing_cost, const Window& from, const Window& to,
                    double service) {
  // A missing component counts as no arc, like a missing matrix entry.
  if (cost >= missing_cost) return kNoWay;
  if (to.present && cost + from.open > to.close) return kNoWay;
  double wait = 0.0;
  if (to.present && from.close != kNoEnd) {
    const double leave = service != 0.0 ? from.close + service : from.close;
    wait = std::max(0.0, to.open - (cost + leave));
  }
  return cost + wait;
}

}  // namespace

int32_t Solver::CheckReachability() {
  unreachable_.clear();
  const auto n = static_cast<int32_t>(points_.size());
  for (int32_t v = 0; v < n; ++v) {
    if (!rules_.IsStartDepot(v) && !rules_.IsEndDepot(v)) continue;
    double cheapest = kNoWay;
    for (int32_t u = 0; u < n; ++u) {
      if (u == v) continue;
      cheapest = std::min(cheapest, ArcCost(v, u, 0).value_or(missing_cost_));
    }
    // kNoWay: a single node, which has no arcs to miss.
    if (cheapest >= missing_cost_ && cheapest != kNoWay) {
      diagnostics_.Err("point: ", v, " can't be reached");
      unreachable_.push_back(v);
    }
  }
  return 1;
}

int32_t Solver::ComputeTimeWindowMst() {
  mst_edges_.clear();
  const uint64_t n = graph_ == nullptr ? 0 : graph_->NumVertex();
  const bool debug = std::getenv("MTSP_DEBUG_TW_EDGES") != nullptr;
  int32_t blocked = 0;
  // Cheapest windowed time of every arc by any agent type, one type at a time so
  // the flat cost table is read in order.
  const auto size = static_cast<size_t>(n);
  std::vector<Window> windows(size);
  for (size_t v = 0; v < size; ++v) windows[v] = WindowOf(time_windows_, static_cast<int32_t>(v));
  std::vector<double> cheapest(size * size, kNoWay);
  for (int32_t type = 0; type < num_types_; ++type) {
    for (size_t tail = 0; tail < size; ++tail) {
      for (size_t head = 0; head < size; ++head) {
        if (head == tail) continue;
        const double cost = ArcCost(static_cast<int32_t>(tail), static_cast<int32_t>(head), type)
                                .value_or(missing_cost_);
        double& best = cheapest[tail * size + head];
        best = std::min(best, WindowedCost(cost, missing_cost_, windows[tail], windows[head],
                                           rules_.Service(static_cast<int32_t>(tail))));
      }
    }
  }
  for (size_t u = 1; u < size; ++u) {
    for (size_t v = 0; v < u; ++v) {
      const double weight = std::min(cheapest[v * size + u], cheapest[u * size + v]);
      if (weight != kNoWay) {
        mst_edges_.push_back({static_cast<uint32_t>(u), static_cast<uint32_t>(v), weight});
        continue;
      }
      ++blocked;
      if (debug) diagnostics_.Out("edge: ", u, "->", v, " cost: ", weight);
    }
  }
  if (blocked > 0) {
    diagnostics_.Out("[TW-MST] blocked edges: ", blocked, " / ", n * (n - 1) / 2,
                     " (set MTSP_DEBUG_TW_EDGES=1 for details)");
  }
  // Ties broken by the pair so the edge order, and with it the search, is reproducible.
  std::sort(mst_edges_.begin(), mst_edges_.end(), [](const MstEdge& a, const MstEdge& b) {
    if (a.weight != b.weight) return a.weight < b.weight;
    if (a.u != b.u) return a.u < b.u;
    return a.v < b.v;
  });
  return 1;
}

}  // namespace quarn
