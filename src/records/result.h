#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace quarn {

// The last solution found and the counters of the search.
struct Result {
  std::unordered_map<int32_t, std::vector<int32_t>> paths;  // agent index -> node indices
  std::unordered_map<int32_t, double> times;                // agent index -> route cost
  int32_t n_generated = 0;
  int32_t n_expanded = 0;
  bool timeout = false;
  double last_update_time = 0.0;
  // Only when the problem gives distances: every agent's finishing time and the
  // sum of its legs' distances (the route cost is the objective's measure).
  std::unordered_map<int32_t, double> durations;
  std::unordered_map<int32_t, double> distances;
  // Optional targets the solution leaves out (node indices, ascending), the
  // sum of their penalties, and per target a short reason or "" where none is
  // cheaply known (filled as the result is read out).
  std::vector<int32_t> unassigned;
  std::vector<std::string> unassigned_reasons;
  double penalty = 0.0;
};

// The cost of one agent's route; 0.0 when the result has none.
inline double CostOf(const Result& result, int32_t agent) {
  auto it = result.times.find(agent);
  return it == result.times.end() ? 0.0 : it->second;
}

// The longest of the route costs, which may all be negative; 0.0 without any.
inline double LongestRoute(const std::vector<double>& costs) {
  return costs.empty() ? 0.0 : *std::max_element(costs.begin(), costs.end());
}

// The costs of agents 0 .. num_agents-1, a missing one 0.0.
inline std::vector<double> CostsInAgentOrder(const Result& result, size_t num_agents) {
  std::vector<double> costs(num_agents, 0.0);
  for (size_t k = 0; k < num_agents; ++k) costs[k] = CostOf(result, static_cast<int32_t>(k));
  return costs;
}

// The longest route and the total, the pair both objectives are judged by.
struct CostSpread {
  double max = 0.0;
  double sum = 0.0;
};

inline CostSpread SpreadOf(const Result& result, size_t num_agents) {
  const std::vector<double> costs = CostsInAgentOrder(result, num_agents);
  CostSpread spread;
  spread.max = LongestRoute(costs);
  for (double cost : costs) spread.sum += cost;
  return spread;
}

}  // namespace quarn
