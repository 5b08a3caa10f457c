#pragma once

#include <cstdint>
#include <vector>

#include "plugins/post_optimizer_plugin.h"
#include "postopt/route_validator.h"
#include "records/working_routes.h"

namespace quarn {

// A post-optimizer that judges every route it writes with a RouteValidator. Run
// by the solver it reads the solver's compiled rules; alone, it compiles its own
// from the setters and the tables of each Optimize call.
class ValidatingPostOptimizer : public PostOptimizerPlugin {
 public:
  void SetReturnToEnd(bool return_to_end) override { own_rules_.SetReturnToEnd(return_to_end); }
  void SetStarts(const std::vector<int32_t>& starts) override { own_rules_.SetStarts(starts); }
  void SetEnds(const std::vector<int32_t>& ends) override { own_rules_.SetEnds(ends); }
  void SetTimeWindows(const TimeWindowMap& windows) override { own_rules_.SetTimeWindows(windows); }
  void SetRouteRules(const RouteRules* rules) override { shared_rules_ = rules; }
  void SetStopCheck(const StopCheck* stop) override { stop_ = stop; }
  void SetDiagnostics(const Diagnostics& diagnostics) override {
    diagnostics_ = diagnostics;
    validator_.SetDiagnostics(diagnostics);
  }

 protected:
  // Points the validator at the rules for one Optimize call.
  void Load(const PlannerGraph* graph, const std::vector<Point>& points,
            const std::vector<AgentEntry>& agents);
  // The working routes of `result`, each evaluated; an invalid one keeps its path.
  std::vector<WorkingRoute> LoadEvaluated(const Result& result) const;
  // The deadline or the caller's interrupt has come: finish the move under way, start no other.
  bool Expired() const { return stop_ != nullptr && stop_->Expired(); }

  RouteValidator validator_;
  Diagnostics diagnostics_;

 private:
  RouteRules own_rules_;
  const RouteRules* shared_rules_ = nullptr;
  const StopCheck* stop_ = nullptr;
};

}  // namespace quarn
