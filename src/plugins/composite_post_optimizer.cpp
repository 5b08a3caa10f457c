#include "plugins/composite_post_optimizer.h"

#include <utility>

namespace quarn {

void CompositePostOptimizer::Optimize(const PlannerGraph* graph, const std::vector<Point>& points,
                                      const std::vector<AgentEntry>& agents, Result& result) {
  for (const auto& child : children_) child->Optimize(graph, points, agents, result);
}

void CompositePostOptimizer::SetReturnToEnd(bool return_to_end) {
  for (const auto& child : children_) child->SetReturnToEnd(return_to_end);
}

void CompositePostOptimizer::SetStarts(const std::vector<int32_t>& starts) {
  for (const auto& child : children_) child->SetStarts(starts);
}

void CompositePostOptimizer::SetEnds(const std::vector<int32_t>& ends) {
  for (const auto& child : children_) child->SetEnds(ends);
}

void CompositePostOptimizer::SetTimeWindows(const TimeWindowMap& windows) {
  for (const auto& child : children_) child->SetTimeWindows(windows);
}

void CompositePostOptimizer::SetRouteRules(const RouteRules* rules) {
  for (const auto& child : children_) child->SetRouteRules(rules);
}

void CompositePostOptimizer::SetStopCheck(const StopCheck* stop) {
  for (const auto& child : children_) child->SetStopCheck(stop);
}

void CompositePostOptimizer::SetDiagnostics(const Diagnostics& diagnostics) {
  for (const auto& child : children_) child->SetDiagnostics(diagnostics);
}

void CompositePostOptimizer::AddChild(std::unique_ptr<PostOptimizerPlugin> child) {
  children_.push_back(std::move(child));
}

}  // namespace quarn
