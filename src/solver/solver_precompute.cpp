#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <optional>

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

// Cheapest time from `tail` to `head` by any agent type, counting the least
// waiting the windows force; kNoWay when no type can make it in time.
template <typename ArcCostOf>
double DirectionCost(const ArcCostOf& arc_cost, int32_t num_types, double missing_cost,
                     const TimeWindowMap& windows, int32_t tail, int32_t head) {
  const Window from = WindowOf(windows, tail);
  const Window to = WindowOf(windows, head);
  double best = kNoWay;
  for (int32_t type = 0; type < num_types; ++type) {
    // A missing component counts as no arc, like a missing matrix entry.
    double cost = arc_cost(tail, head, type).value_or(missing_cost);
    if (cost >= missing_cost) continue;
    if (to.present && cost + from.open > to.close) continue;
    double wait = 0.0;
    if (to.present && from.close != kNoEnd) wait = std::max(0.0, to.open - (cost + from.close));
    best = std::min(best, cost + wait);
  }
  return best;
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
      std::cerr << "point: " << v << " can't be reached" << std::endl;
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
  auto arc_cost = [this](int32_t u, int32_t v, int32_t type) { return ArcCost(u, v, type); };
  for (uint64_t u = 1; u < n; ++u) {
    for (uint64_t v = 0; v < u; ++v) {
      const auto hi = static_cast<int32_t>(u);
      const auto lo = static_cast<int32_t>(v);
      double weight =
          std::min(DirectionCost(arc_cost, num_types_, missing_cost_, time_windows_, lo, hi),
                   DirectionCost(arc_cost, num_types_, missing_cost_, time_windows_, hi, lo));
      if (weight != kNoWay) {
        mst_edges_.push_back({static_cast<uint32_t>(u), static_cast<uint32_t>(v), weight});
        continue;
      }
      ++blocked;
      if (debug) std::cout << "edge: " << u << "->" << v << " cost: " << weight << std::endl;
    }
  }
  if (blocked > 0) {
    std::cout << "[TW-MST] blocked edges: " << blocked << " / " << n * (n - 1) / 2
              << " (set MTSP_DEBUG_TW_EDGES=1 for details)" << std::endl;
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
