#include "records/working_routes.h"

#include <utility>

namespace quarn {

std::vector<WorkingRoute> LoadRoutes(const Result& result, size_t num_agents) {
  std::vector<WorkingRoute> routes(num_agents);
  for (size_t a = 0; a < num_agents; ++a) {
    routes[a].agent = static_cast<int32_t>(a);
    auto it = result.paths.find(static_cast<int32_t>(a));
    if (it != result.paths.end()) routes[a].path = it->second;
  }
  return routes;
}

void WriteBack(const std::vector<WorkingRoute>& routes, Result& result) {
  std::unordered_map<int32_t, std::vector<int32_t>> paths;
  std::unordered_map<int32_t, double> times;
  for (const WorkingRoute& route : routes) {
    paths[route.agent] = route.path;
    times[route.agent] = route.valid ? route.cost : CostOf(result, route.agent);
  }
  result.paths = std::move(paths);
  result.times = std::move(times);
}

}  // namespace quarn
