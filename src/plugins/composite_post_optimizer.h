#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugins/post_optimizer_plugin.h"

namespace quarn {

// Forwards every call to its children in order, so each child improves the
// result its predecessor left.
class CompositePostOptimizer : public PostOptimizerPlugin {
 public:
  CompositePostOptimizer() = default;

  std::string Name() const override { return "CompositePostOptimizer"; }
  void Optimize(const PlannerGraph* graph, const std::vector<Point>& points,
                const std::vector<AgentEntry>& agents, Result& result) override;
  void SetReturnToEnd(bool return_to_end) override;
  void SetStarts(const std::vector<int32_t>& starts) override;
  void SetEnds(const std::vector<int32_t>& ends) override;
  void SetTimeWindows(const TimeWindowMap& windows) override;
  void SetRouteRules(const RouteRules* rules) override;
  void SetStopCheck(const StopCheck* stop) override;
  void SetDiagnostics(const Diagnostics& diagnostics) override;

  void AddChild(std::unique_ptr<PostOptimizerPlugin> child);
  const std::vector<std::unique_ptr<PostOptimizerPlugin>>& children() const { return children_; }

 private:
  std::vector<std::unique_ptr<PostOptimizerPlugin>> children_;
};

}  // namespace quarn
