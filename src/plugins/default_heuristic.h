#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/missing_cost.h"
#include "plugins/heuristic_plugin.h"
#include "records/mst_edge.h"

namespace quarn {

// Lower bound: the weight of a minimum spanning forest that attaches every
// uncovered node to the covered ones (visited nodes and agent positions)
// through live nodes, using the usable edges handed over by SetEdges.
class DefaultHeuristic : public HeuristicPlugin {
 public:
  // Returned when some uncovered node cannot be attached: the largest finite double / 16.
  static const double kUnreachable;
  DefaultHeuristic() = default;

  std::string Name() const override { return "DefaultHeuristic"; }
  void Init(const PlannerGraph* graph, const std::vector<Point>& points,
            const std::vector<AgentEntry>& agents) override;
  double Estimate(const Label& label) const override;
  // The same estimate, except that once the sum built so far reaches `enough`
  // it may stop and return that partial sum: a value at least `enough` and at
  // most the full estimate. A caller that discards every label whose estimate
  // reaches `enough` thus decides exactly as with the full estimate.
  double Estimate(const Label& label, double enough) const;

  void SetEnds(const std::vector<int32_t>& ends) { ends_ = ends; }
  // Edge weights at or above it are unusable; set before SetEdges.
  void SetMissingCost(double missing_cost) { missing_cost_ = missing_cost; }
  // Keeps the edges and derives the cheapest usable cost of every node pair.
  void SetEdges(const std::vector<MstEdge>& edges);
  // Nodes an agent enters only by a move that costs nothing (every depot when
  // routes are open): the bound never pays an edge to reach one. They count as
  // covered, and as a root only where an unfinished agent stands.
  void SetFreeStops(const std::vector<int32_t>& nodes);

 private:
  double PairCost(int32_t a, int32_t b) const {
    return pair_cost_[static_cast<size_t>(a) * static_cast<size_t>(dim_) + static_cast<size_t>(b)];
  }

  const PlannerGraph* graph_ = nullptr;
  std::vector<Point> points_;
  std::vector<AgentEntry> agents_;
  std::vector<int32_t> ends_;  // kept for the solver's hand-over; Estimate does not read it
  uint64_t num_agents_ = 0;
  std::vector<MstEdge> edges_;
  double missing_cost_ = kMissingCost;
  int32_t dim_ = 0;               // node indices covered by pair_cost_
  std::vector<double> pair_cost_;  // dim_ x dim_, +infinity where no usable edge
  bool nonnegative_ = true;        // every usable edge costs 0 or more, so sums only grow
  std::array<uint64_t, 4> below_dim_{};  // the node indices below dim_, as bit words
  std::array<uint64_t, 4> free_stops_{};  // SetFreeStops' nodes, as bit words
  // The nodes below the size of the last label seen, as bit words; a cache.
  mutable int32_t range_size_ = -1;
  mutable std::array<uint64_t, 4> in_range_{};
};

}  // namespace quarn
