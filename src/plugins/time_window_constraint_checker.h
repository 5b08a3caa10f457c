#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/default_constraint_checker.h"
#include "records/time_window_map.h"
#include "rules/route_rules.h"

namespace quarn {

// Time windows with waiting. Besides the arrival itself it rejects a move that
// a detour through another node would dominate, and a state in which some
// unvisited node can no longer be reached in its window by any agent.
class TimeWindowConstraintChecker : public ConstraintCheckerPlugin {
 public:
  TimeWindowConstraintChecker() = default;

  std::string Name() const override { return "TimeConstraintChecker"; }
  void Init(const PlannerGraph* graph, const std::vector<Point>& points,
            const std::vector<AgentEntry>& agents) override;
  bool IsForbidden(int32_t agent, int32_t node) const override;
  // Feasible with the waiting time when the agent had to wait at the node.
  ArrivalCheck CheckArrival(const Label& child, int32_t agent, int32_t node) const override;
  BudgetCheck CheckBudget(const Label& child, int32_t agent) const override;
  bool IsDeadEnd(const Label& child) const override;

  void SetEnds(const std::vector<int32_t>& ends);
  void SetStarts(const std::vector<int32_t>& starts) { own_rules_.SetStarts(starts); }
  void SetTimeWindows(const TimeWindowMap& windows) { own_rules_.SetTimeWindows(windows); }
  void SetReturnToEnd(bool return_to_end) { own_rules_.SetReturnToEnd(return_to_end); }
  // The solver's compiled rules (same depots, windows and graph), read instead of
  // the checker's own, which the setters and Init fill; null reads the own ones.
  void SetRouteRules(const RouteRules* rules) { shared_rules_ = rules; }

 private:
  const RouteRules& rules() const { return shared_rules_ != nullptr ? *shared_rules_ : own_rules_; }
  double TravelTime(int32_t from, int32_t to, int32_t agent) const {
    return rules().SearchTravel(from, to, agent);
  }
  bool DetourDominates(const Label& child, int32_t agent, int32_t from, int32_t node,
                       double arrival) const;
  bool IsDetourCandidate(const Label& child, int32_t agent, int32_t from, int32_t node,
                         int32_t w) const;
  bool SomeNodeLost(const Label& child, int32_t agent, int32_t node, double arrival) const;
  bool CanCover(const Label& child, int32_t k, int32_t s, int32_t agent, int32_t node,
                double arrival) const;

  DefaultConstraintChecker inner_;
  const PlannerGraph* graph_ = nullptr;
  RouteRules own_rules_;  // the tables of Init and the setters'
  const RouteRules* shared_rules_ = nullptr;
};

}  // namespace quarn
