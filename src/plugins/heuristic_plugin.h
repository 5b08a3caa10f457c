#pragma once

#include <vector>

#include "graph/planner_graph.h"
#include "plugins/plugin_base.h"
#include "records/agent_entry.h"
#include "records/label.h"
#include "records/point.h"

namespace quarn {

class HeuristicPlugin : public PluginBase {
 public:
  virtual void Init(const PlannerGraph* graph, const std::vector<Point>& points,
                    const std::vector<AgentEntry>& agents) = 0;
  // Lower bound on the cost still to come from `label`.
  virtual double Estimate(const Label& label) const = 0;
};

}  // namespace quarn
