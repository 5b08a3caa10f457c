#pragma once

#include <cstdint>
#include <vector>

namespace quarn {

using CostVector = std::vector<double>;

// Read interface of a directed graph over dense vertex indices whose arcs carry
// one cost per agent type.
class PlannerGraph {
 public:
  virtual ~PlannerGraph() = default;
  virtual bool HasVertex(int32_t v) const = 0;
  virtual bool HasArc(int32_t u, int32_t v) const = 0;
  virtual std::vector<int32_t> GetSuccs(int32_t v) const = 0;
  virtual std::vector<int32_t> GetPreds(int32_t v) const = 0;
  virtual CostVector GetArcCost(int32_t u, int32_t v) const = 0;
  virtual std::vector<CostVector> GetSuccCosts(int32_t v) const = 0;
  virtual std::vector<CostVector> GetPredCosts(int32_t v) const = 0;
  virtual uint64_t NumVertex() const = 0;
  virtual uint64_t NumArcEntries() const = 0;
  virtual uint64_t NumEdge() const = 0;
  virtual uint64_t CostDim() const = 0;
  virtual std::vector<int32_t> AllVertices() const = 0;
};

}  // namespace quarn
