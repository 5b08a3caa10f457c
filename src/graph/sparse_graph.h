#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "graph/planner_graph.h"

namespace quarn {

// Adjacency-list graph that keeps both the outgoing and the incoming arcs of
// every vertex. Both lists name the same arc, whose costs are stored once in a
// flat pool, and a pair index finds the first arc u -> v without a list walk,
// so building a complete graph costs its arcs and no more.
// Vertex v exists iff 0 <= v < NumVertex(); a negative index is never a vertex.
class SparseGraph : public PlannerGraph {
 public:
  SparseGraph() = default;
  ~SparseGraph() override = default;

  bool HasVertex(int32_t v) const override;
  // False when u is not a vertex.
  bool HasArc(int32_t u, int32_t v) const override;
  std::vector<int32_t> GetSuccs(int32_t v) const override;
  std::vector<int32_t> GetPreds(int32_t v) const override;
  // Cost of the first arc u -> v; empty when there is none or u is not a vertex.
  CostVector GetArcCost(int32_t u, int32_t v) const override;
  std::vector<CostVector> GetSuccCosts(int32_t v) const override;
  std::vector<CostVector> GetPredCosts(int32_t v) const override;
  uint64_t NumVertex() const override;
  uint64_t NumArcEntries() const override;
  // Throws std::runtime_error when the arc-entry counter is odd.
  uint64_t NumEdge() const override;
  uint64_t CostDim() const override;
  std::vector<int32_t> AllVertices() const override;

  // Grows the graph up to v; a negative index or an existing vertex changes nothing.
  virtual void AddVertex(int32_t v);
  virtual void AddEdge(int32_t u, int32_t v, const CostVector& cost);
  // Adds the arc u -> v or updates its cost. Throws std::runtime_error on a
  // negative index or a cost vector whose length is not the cost dimension.
  virtual void AddArc(int32_t u, int32_t v, CostVector cost);
  // Rebuild the graph from parallel lists. Throws std::runtime_error, leaving
  // the graph unchanged, when targets or costs are shorter than sources or an
  // index is negative; longer targets or costs are read only up to sources' length.
  virtual void CreateFromEdges(std::vector<int32_t> sources, std::vector<int32_t> targets,
                               std::vector<CostVector> costs);
  virtual void CreateFromArcs(std::vector<int32_t> sources, std::vector<int32_t> targets,
                              std::vector<CostVector> costs);
  virtual void ChangeCostDim(uint64_t dim, double fill);
  // Replaces the cost of an existing arc; throws std::runtime_error otherwise.
  virtual bool SetArcCost(int32_t u, int32_t v, const CostVector& cost);
  virtual std::string ToStr() const;

 private:
  // Where an arc's costs lie in the pool.
  struct CostSlot {
    uint64_t offset = 0;
    uint32_t width = 0;
  };

  void Rebuild(const std::vector<int32_t>& sources, const std::vector<int32_t>& targets,
               const std::vector<CostVector>& costs, bool both_directions, const char* caller);
  uint32_t AppendArc(int32_t u, int32_t v, const CostVector& cost);
  void StoreCost(uint32_t arc, const CostVector& cost);
  CostVector CostOf(uint32_t arc) const;
  // The first arc u -> v, or -1.
  int64_t FindArc(int32_t u, int32_t v) const;
  std::vector<CostVector> CostsOf(const std::vector<uint32_t>& arcs) const;

  std::vector<std::vector<int32_t>> out_neighbors_;
  std::vector<std::vector<uint32_t>> out_arcs_;  // arc ids beside out_neighbors_
  std::vector<std::vector<int32_t>> in_neighbors_;
  std::vector<std::vector<uint32_t>> in_arcs_;
  std::vector<CostSlot> slots_;  // by arc id
  std::vector<double> pool_;
  std::unordered_map<uint64_t, uint32_t> first_arc_;  // (u << 32 | v) -> arc id
  uint64_t num_arc_entries_ = 0;
  uint64_t cost_dim_ = 0;
};

}  // namespace quarn
