#include "plugins/default_heuristic.h"

#include <algorithm>
#include <array>
#include <limits>

namespace quarn {

const double DefaultHeuristic::kUnreachable = std::numeric_limits<double>::max() / 16.0;

namespace {

constexpr double kNoEdge = std::numeric_limits<double>::infinity();
using NodeBits = std::array<bool, VisitedSet::kCapacity>;

// covered: visited or stood on by any agent; live: not a visited node that no
// unfinished agent stands on (edges through dead nodes are never used).
void ClassifyNodes(const Label& label, int32_t size, NodeBits& covered, NodeBits& live) {
  for (int32_t i = 0; i < size; ++i) {
    covered[i] = label.visited.test(i);
    live[i] = !covered[i];
  }
  for (size_t a = 0; a < label.positions.size(); ++a) {
    const int32_t p = label.positions[a];
    if (p < 0 || p >= size) continue;
    covered[p] = true;
    if (a < label.finished.size() && label.finished[a] == 0) live[p] = true;
  }
}

}  // namespace

void DefaultHeuristic::Init(const PlannerGraph* graph, const std::vector<Point>& points,
                            const std::vector<AgentEntry>& agents) {
  graph_ = graph;
  points_ = points;
  agents_ = agents;
  num_agents_ = agents_.size();
}

void DefaultHeuristic::SetEdges(const std::vector<MstEdge>& edges) {
  edges_ = edges;
  dim_ = 0;
  for (const MstEdge& e : edges_) {
    const uint32_t top = std::max(e.u, e.v);
    if (top < static_cast<uint32_t>(VisitedSet::kCapacity)) {
      dim_ = std::max(dim_, static_cast<int32_t>(top) + 1);
    }
  }
  pair_cost_.assign(static_cast<size_t>(dim_) * static_cast<size_t>(dim_), kNoEdge);
  for (const MstEdge& e : edges_) {
    // Self loops never cross the cut; nodes beyond the visited-set capacity never exist.
    if (e.u == e.v || std::max(e.u, e.v) >= static_cast<uint32_t>(dim_)) continue;
    if (e.weight >= kBlockedCost) continue;
    double& forward = pair_cost_[e.u * static_cast<size_t>(dim_) + e.v];
    forward = std::min(forward, e.weight);
    pair_cost_[e.v * static_cast<size_t>(dim_) + e.u] = forward;
  }
}

double DefaultHeuristic::PairCost(int32_t a, int32_t b) const {
  return pair_cost_[static_cast<size_t>(a) * static_cast<size_t>(dim_) + static_cast<size_t>(b)];
}

// Prim's algorithm grown from every covered live node at once, over the
// cheapest usable edge of each node pair.
double DefaultHeuristic::Estimate(const Label& label) const {
  const int32_t size = std::min(label.visited.size, VisitedSet::kCapacity);
  if (size < 1) return 0.0;
  NodeBits covered{};
  NodeBits live{};
  ClassifyNodes(label, size, covered, live);

  std::array<int32_t, VisitedSet::kCapacity> roots{};  // covered live nodes the forest grows from
  int32_t num_roots = 0;
  for (int32_t c = 0; c < std::min(size, dim_); ++c) {
    if (covered[c] && live[c]) roots[num_roots++] = c;
  }
  std::array<int32_t, VisitedSet::kCapacity> pending{};  // uncovered nodes not yet attached
  std::array<double, VisitedSet::kCapacity> best{};      // cheapest link of each to the forest
  int32_t num_pending = 0;
  for (int32_t x = 0; x < size; ++x) {
    if (covered[x]) continue;
    if (x >= dim_) return kUnreachable;  // no usable edge touches it
    double link = kNoEdge;
    for (int32_t r = 0; r < num_roots; ++r) link = std::min(link, PairCost(roots[r], x));
    pending[num_pending] = x;
    best[num_pending] = link;
    ++num_pending;
  }

  double total = 0.0;
  while (num_pending > 0) {
    int32_t pick = 0;
    for (int32_t i = 1; i < num_pending; ++i) {
      if (best[i] < best[pick]) pick = i;
    }
    if (best[pick] == kNoEdge) return kUnreachable;
    total += best[pick];
    const int32_t attached = pending[pick];
    --num_pending;
    pending[pick] = pending[num_pending];
    best[pick] = best[num_pending];
    for (int32_t i = 0; i < num_pending; ++i) {
      best[i] = std::min(best[i], PairCost(attached, pending[i]));
    }
  }
  return total;
}

}  // namespace quarn
