#pragma once

#include <cstdint>
#include <vector>

#include "graph/planner_graph.h"
#include "model/diagnostics.h"
#include "plugins/plugin_base.h"
#include "records/agent_entry.h"
#include "records/point.h"
#include "records/result.h"
#include "records/stop_check.h"
#include "records/time_window_map.h"
#include "rules/route_rules.h"

namespace quarn {

class PostOptimizerPlugin : public PluginBase {
 public:
  // Rewrites the routes of `result` in place.
  virtual void Optimize(const PlannerGraph* graph, const std::vector<Point>& points,
                        const std::vector<AgentEntry>& agents, Result& result) = 0;
  virtual void SetReturnToEnd(bool return_to_end) = 0;
  virtual void SetStarts(const std::vector<int32_t>& starts) = 0;
  virtual void SetEnds(const std::vector<int32_t>& ends) = 0;
  virtual void SetTimeWindows(const TimeWindowMap& windows) = 0;
  // The solver's compiled route rules and stop check, which outlive every
  // Optimize call; an optimizer without them works from its own setters.
  virtual void SetRouteRules(const RouteRules*) {}
  virtual void SetStopCheck(const StopCheck*) {}
  // Where the optimizer's diagnostic lines go (the solver's, quiet or not).
  virtual void SetDiagnostics(const Diagnostics&) {}
};

}  // namespace quarn
