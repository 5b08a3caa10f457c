#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/diagnostics.h"
#include "records/agent_entry.h"
#include "records/point.h"
#include "rules/route_rules.h"

namespace quarn {

// Tolerance of every cost comparison the post-optimizers make.
constexpr double kPostOptEpsilon = 1e-9;

// What both post-optimizers ask of a route, over one set of route rules: whether
// an agent may drive it, what it costs, and the 2-opt improvement that keeps it valid.
class RouteValidator {
 public:
  // The rules are not owned and must outlive every call.
  void Use(const RouteRules* rules) { rules_ = rules; }
  void SetDiagnostics(const Diagnostics& diagnostics) { diagnostics_ = diagnostics; }

  // True when `agent` may drive `path`; `cost` is then its arrival time at the
  // last node (waiting included). `cost` is 0.0 whenever the path is invalid.
  bool EvaluatePath(const std::vector<int32_t>& path, int32_t agent, double& cost) const {
    return rules_->EvaluateRoute(path, agent, cost);
  }
  // EvaluatePath's cost, or 0.0 with a "[post-opt]" message for an invalid path.
  double PathCost(const std::vector<int32_t>& path, int32_t agent) const;
  double PathCost(const std::vector<int32_t>& path, int32_t agent, bool& valid) const;
  // Whether agent k may take node x at all: its type and the depot rules.
  bool CanServe(int32_t agent, int32_t node) const { return rules_->Admits(agent, node); }
  // First-improvement 2-opt with fixed ends; `cost` is the route's current cost.
  // True when the path was replaced (every replacement passed EvaluatePath).
  // `expired`, when given, is asked before each rescan and ends the pass.
  template <class Expired>
  bool TwoOpt(std::vector<int32_t>& path, double& cost, int32_t agent, Expired expired) const;
  bool TwoOpt(std::vector<int32_t>& path, double& cost, int32_t agent) const {
    return TwoOpt(path, cost, agent, [] { return false; });
  }

  const RouteRules& rules() const { return *rules_; }
  const std::vector<AgentEntry>& agents() const { return rules_->agents(); }
  const std::vector<Point>& points() const { return rules_->points(); }

 private:
  // Travel along a path's arcs and along the same arcs driven backwards, summed
  // from the start: what any 2-opt reversal of the path must at least cost.
  struct TravelSums {
    std::vector<double> forward;
    std::vector<double> backward;
    double magnitude = 0.0;  // sum of the absolute arc costs
  };
  void MeasureTravel(const std::vector<int32_t>& path, int32_t agent, TravelSums& sums) const;
  double ReversalLowerBound(const std::vector<int32_t>& path, int32_t agent,
                            const TravelSums& sums, size_t i, size_t j) const;
  bool ImprovingReversal(std::vector<int32_t>& path, double& cost, int32_t agent,
                         TravelSums& sums) const;

  const RouteRules* rules_ = nullptr;
  Diagnostics diagnostics_;
};

template <class Expired>
bool RouteValidator::TwoOpt(std::vector<int32_t>& path, double& cost, int32_t agent,
                            Expired expired) const {
  if (path.size() < 4) return false;
  bool changed = false;
  TravelSums sums;
  // First improvement: after every accepted reversal the scan starts again.
  while (!expired() && ImprovingReversal(path, cost, agent, sums)) changed = true;
  return changed;
}

}  // namespace quarn
