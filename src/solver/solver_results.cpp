#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "solver/solver.h"

namespace quarn {

Solver::~Solver() = default;

Result Solver::get_result() {
  result_.last_update_time = last_update_time_;
  Result result = result_;
  RecordMeasures(result);
  ExplainLeftOut(result);
  return result;
}

void Solver::MeasureByDistance(Result& result) const {
  for (auto& [agent, cost] : result.times) {
    auto path = result.paths.find(agent);
    cost = path == result.paths.end() ? 0.0 : rules_.DistanceOf(path->second, agent);
  }
}

void Solver::RecordMeasures(Result& result) const {
  result.durations.clear();
  result.distances.clear();
  if (distances_ == nullptr) return;
  for (size_t k = 0; k < num_agents_; ++k) {
    const auto agent = static_cast<int32_t>(k);
    auto path = result.paths.find(agent);
    double duration = 0.0;
    double distance = 0.0;
    if (path != result.paths.end() && !path->second.empty()) {
      if (!rules_.EvaluateRoute(path->second, agent, duration)) duration = CostOf(result, agent);
      distance = rules_.DistanceOf(path->second, agent);
    }
    result.durations[agent] = duration;
    result.distances[agent] = distance;
  }
}

InstanceStats Solver::GetBounds() const { return instance_stats_; }

std::vector<AnytimeEntry> Solver::get_result_process() const { return anytime_; }

void Solver::WritePathDump() const {
  nlohmann::json dump;  // the default object writes its keys in ascending order
  dump["num_agents"] = num_agents_;
  dump["starts"] = starts_;
  dump["goals"] = ends_;
  dump["max_path_length"] = max_path_length_;

  nlohmann::json paths = nlohmann::json::object();
  const auto num_paths = static_cast<int32_t>(result_.paths.size());
  for (int32_t i = 0; i < num_paths; ++i) {
    // The last node is the agent's end, which the reader knows from "goals".
    std::vector<int32_t> route;
    auto it = result_.paths.find(i);
    if (it != result_.paths.end() && it->second.size() >= 2) {
      route.assign(it->second.begin(), it->second.end() - 1);
    }
    paths[std::to_string(i)] = route;
  }
  dump["paths"] = paths;

  std::vector<double> total_costs;
  const auto num_times = static_cast<int32_t>(result_.times.size());
  for (int32_t i = 0; i < num_times; ++i) total_costs.push_back(CostOf(result_, i));
  dump["total_costs"] = total_costs;

  const std::string directory = "paths/paths_astar";
  std::filesystem::create_directories(directory);
  const std::string file_name = directory + "/" + name_ + "_astar.json";
  std::ofstream file(file_name, std::ios::out | std::ios::trunc);
  if (!file) {
    diagnostics_.Err("Error: cannot open ", file_name, " for writing.");
    return;
  }
  file << dump.dump(2) << std::endl;
  file.close();
  diagnostics_.Out("Saved to ", file_name);
}

}  // namespace quarn
