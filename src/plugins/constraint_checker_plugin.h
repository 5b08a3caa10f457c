#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "graph/planner_graph.h"
#include "plugins/plugin_base.h"
#include "records/agent_entry.h"
#include "records/label.h"
#include "records/point.h"

namespace quarn {

struct ArrivalCheck {
  bool feasible = true;
  std::optional<double> time;  // the agent's corrected cost (after waiting), when present
};

struct BudgetCheck {
  bool feasible = true;
};

class ConstraintCheckerPlugin : public PluginBase {
 public:
  virtual void Init(const PlannerGraph* graph, const std::vector<Point>& points,
                    const std::vector<AgentEntry>& agents) = 0;
  virtual bool IsForbidden(int32_t agent, int32_t node) const = 0;
  virtual ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t node) const = 0;
  virtual BudgetCheck CheckBudget(const Label& child, int32_t agent) const = 0;
  virtual bool IsDeadEnd(const Label& child) const = 0;
};

}  // namespace quarn
