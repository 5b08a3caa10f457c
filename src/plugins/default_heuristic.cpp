#include "plugins/default_heuristic.h"

#include <algorithm>
#include <array>
#include <limits>

namespace quarn {

const double DefaultHeuristic::kUnreachable = std::numeric_limits<double>::max() / 16.0;

namespace {

constexpr double kNoEdge = std::numeric_limits<double>::infinity();
constexpr int32_t kWords = VisitedSet::kCapacity / 64;
using NodeWords = std::array<uint64_t, kWords>;

// Words whose bits are the node indices below `limit`.
NodeWords BitsBelow(int32_t limit) {
  NodeWords mask{};
  for (int32_t w = 0; w < kWords; ++w) {
    const int32_t low = w * 64;
    if (limit >= low + 64) {
      mask[w] = ~uint64_t{0};
    } else if (limit > low) {
      mask[w] = (uint64_t{1} << (limit - low)) - 1;
    }
  }
  return mask;
}

// covered: visited, a free stop or stood on by any agent; live: neither a visited
// node nor a free stop, unless an unfinished agent stands on it (edges through
// dead nodes are never used).
// Only nodes below `size` (the bits of `in_range`) belong to either set.
void ClassifyNodes(const Label& label, int32_t size, const NodeWords& in_range,
                   const NodeWords& free_stops, NodeWords& covered, NodeWords& live) {
  for (int32_t w = 0; w < kWords; ++w) {
    const uint64_t done = label.visited.words[w] | free_stops[w];
    covered[w] = done & in_range[w];
    live[w] = ~done & in_range[w];
  }
  for (size_t a = 0; a < label.positions.size(); ++a) {
    const int32_t p = label.positions[a];
    if (p < 0 || p >= size) continue;
    const uint64_t bit = uint64_t{1} << (p & 63);
    covered[p >> 6] |= bit;
    if (a < label.finished.size() && label.finished[a] == 0) live[p >> 6] |= bit;
  }
}

// Calls visit(i) for every set bit of `words`, in ascending order.
template <typename Visit>
void ForEachBit(const NodeWords& words, Visit visit) {
  for (int32_t w = 0; w < kWords; ++w) {
    for (uint64_t bits = words[w]; bits != 0; bits &= bits - 1) {
      visit(w * 64 + __builtin_ctzll(bits));
    }
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
    if (e.weight >= missing_cost_) continue;
    double& forward = pair_cost_[e.u * static_cast<size_t>(dim_) + e.v];
    forward = std::min(forward, e.weight);
    pair_cost_[e.v * static_cast<size_t>(dim_) + e.u] = forward;
  }
  below_dim_ = BitsBelow(dim_);
  nonnegative_ = std::all_of(pair_cost_.begin(), pair_cost_.end(), [](double c) { return c >= 0.0; });
}

void DefaultHeuristic::SetFreeStops(const std::vector<int32_t>& nodes) {
  free_stops_ = NodeWords{};
  for (int32_t node : nodes) {
    if (node >= 0 && node < VisitedSet::kCapacity) free_stops_[node >> 6] |= uint64_t{1} << (node & 63);
  }
}

// Prim's algorithm grown from every covered live node at once, over the
// cheapest usable edge of each node pair. The sum is taken in the order Prim
// attaches the nodes (ties to the earliest pending slot), which fixes its rounding.
double DefaultHeuristic::Estimate(const Label& label) const { return Estimate(label, kNoEdge); }

double DefaultHeuristic::Estimate(const Label& label, double enough) const {
  // A partial sum bounds the full one from below only when no edge subtracts,
  // and the unreachable value must lie above any bound it stands in for.
  const bool may_stop = nonnegative_ && enough <= kUnreachable;
  const int32_t size = std::min(label.visited.size, VisitedSet::kCapacity);
  if (size < 1) return 0.0;
  // The empty sum already reaches it: every full sum is at least 0.
  if (may_stop && 0.0 >= enough) return 0.0;
  NodeWords covered{};
  NodeWords live{};
  // Labels of one search share their size, so its mask is computed once.
  if (size != range_size_) {
    range_size_ = size;
    in_range_ = BitsBelow(size);
  }
  const NodeWords& in_range = in_range_;
  ClassifyNodes(label, size, in_range, free_stops_, covered, live);

  // Left uninitialised: only the entries written below are read, and clearing
  // four kilobytes per call would cost more than the rest of a typical call.
  std::array<int32_t, VisitedSet::kCapacity> roots;  // covered live nodes the forest grows from
  int32_t num_roots = 0;
  const NodeWords& below_dim = below_dim_;
  NodeWords root_bits{};
  NodeWords uncovered{};
  for (int32_t w = 0; w < kWords; ++w) {
    root_bits[w] = covered[w] & live[w] & below_dim[w];
    uncovered[w] = ~covered[w] & in_range[w];
    // A node no usable edge touches can never be attached.
    if ((uncovered[w] & ~below_dim[w]) != 0) return kUnreachable;
  }
  ForEachBit(root_bits, [&](int32_t c) { roots[num_roots++] = c; });

  std::array<int32_t, VisitedSet::kCapacity> pending;  // uncovered nodes not yet attached
  std::array<double, VisitedSet::kCapacity> best;      // cheapest link of each to the forest
  int32_t num_pending = 0;
  int32_t pick = 0;
  ForEachBit(uncovered, [&](int32_t x) {
    double link = kNoEdge;
    for (int32_t r = 0; r < num_roots; ++r) link = std::min(link, PairCost(roots[r], x));
    pending[num_pending] = x;
    best[num_pending] = link;
    if (best[num_pending] < best[pick]) pick = num_pending;
    ++num_pending;
  });

  double total = 0.0;
  while (num_pending > 0) {
    if (best[pick] == kNoEdge) return kUnreachable;
    if (may_stop && total >= enough) return total;
    total += best[pick];
    const int32_t attached = pending[pick];
    --num_pending;
    pending[pick] = pending[num_pending];
    best[pick] = best[num_pending];
    if (num_pending == 0) break;
    // Relax every pending link through the new node and find the next pick in
    // one sweep, without a branch per link: which link is lowest is a coin toss.
    const double* row = &pair_cost_[static_cast<size_t>(attached) * static_cast<size_t>(dim_)];
    best[0] = std::min(best[0], row[pending[0]]);
    int32_t next = 0;
    double lowest = best[0];
    for (int32_t i = 1; i < num_pending; ++i) {
      const double link = std::min(best[i], row[pending[i]]);
      best[i] = link;
      const bool lower = link < lowest;
      lowest = lower ? link : lowest;
      next = lower ? i : next;
    }
    pick = next;
  }
  return total;
}

}  // namespace quarn
