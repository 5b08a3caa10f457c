#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "postopt/validating_post_optimizer.h"

namespace quarn {

// The agents of one type, with the members of largest and smallest cost.
struct AgentGroup {
  int32_t count = 0;
  int32_t type = 0;
  int32_t longest = 0;
  int32_t shortest = 0;
  std::vector<int32_t> members;  // agent indices, in agent order
};

// Moving the target at donor position i before receiver position j; i = j = -1 is no move.
struct RelocationMove {
  int32_t i = -1;
  int32_t j = -1;
  double gain = 0.0;
};

// Improves a solution's routes for the min-max objective: 2-opt inside every
// route, one relocation from the longest to the shortest route of each agent
// type, then relocations from the type with the longest route to the type
// whose longest route is shortest, while they pay.
class DefaultPostOptimizer : public ValidatingPostOptimizer {
 public:
  std::string Name() const override { return "DefaultPostOptimizer"; }
  void Optimize(const PlannerGraph* graph, const std::vector<Point>& points,
                const std::vector<AgentEntry>& agents, Result& result) override;

  // Moves donor.path[i] before receiver.path[j] when both new routes are valid.
  // Uses the tables of the last Optimize call.
  void RelocateMove(WorkingRoute& donor, WorkingRoute& receiver, int32_t i, int32_t j) const;

 private:
  void BuildRoutes(Result& result);
  void AddToGroup(int32_t agent, double cost);
  void ImproveWithinGroup(int32_t type);
  void BalanceGroups();

  RelocationMove BestRelocation(int32_t from_type, int32_t to_type) const;
  void RefreshGroupExtremes(int32_t type);
  AgentGroup& GroupOf(int32_t type, const std::string& context);
  const AgentGroup& GroupOf(int32_t type) const;

  std::vector<int32_t> group_types_;
  std::unordered_map<int32_t, AgentGroup> groups_;
  std::vector<WorkingRoute> routes_;
};

}  // namespace quarn
