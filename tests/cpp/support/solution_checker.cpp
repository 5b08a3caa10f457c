#include "support/solution_checker.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <sstream>
#include <unordered_map>

namespace quarn::test {
namespace {

constexpr double kMissingCost = 9999.0;
constexpr double kCostTolerance = 1e-6;

// The problem seen by node index, built independently of the solver.
struct Instance {
  std::unordered_map<uint64_t, int32_t> index_of_id;  // a later duplicate id wins
  std::vector<int32_t> starts;
  std::vector<int32_t> ends;
  std::set<int32_t> depots;
  std::map<int32_t, std::pair<double, double>> windows;
};

Instance Compile(const Problem& problem) {
  Instance inst;
  int32_t index = 0;
  for (const Node& node : problem.nodes()) inst.index_of_id[node.id] = index++;
  for (const Agent& agent : problem.agents_ordered()) {
    inst.starts.push_back(inst.index_of_id.at(agent.start_node));
    inst.ends.push_back(inst.index_of_id.at(agent.end_node));
    inst.depots.insert(inst.starts.back());
    inst.depots.insert(inst.ends.back());
  }
  for (const auto& [id, window] : problem.time_windows().windows_by_node) {
    auto it = inst.index_of_id.find(id);
    if (it != inst.index_of_id.end()) inst.windows[it->second] = window;
  }
  return inst;
}

bool TypeAllowed(const Problem& problem, const std::string& type, int32_t node) {
  const auto& table = problem.assignment().allowed_types_by_node;
  auto entry = table.find(problem.nodes()[static_cast<size_t>(node)].id);
  if (entry == table.end()) return true;
  for (const std::string& name : entry->second) {
    if (name == type) return true;
  }
  return false;
}

double Travel(const Problem& problem, const std::string& type, int32_t from, int32_t to) {
  auto matrix = problem.cost_matrices().find(type);
  if (matrix == problem.cost_matrices().end()) return kMissingCost;
  const auto& rows = matrix->second;
  if (static_cast<size_t>(from) >= rows.size() || static_cast<size_t>(to) >= rows[from].size()) {
    return kMissingCost;
  }
  double cost = rows[from][to];
  return std::isnan(cost) ? kMissingCost : cost;
}

// Walks the route with its clock; appends every broken time rule to `errors`.
// The search starts every agent at time 0, while route improvement waits at the
// start depot for its window to open; `wait_at_start` picks that second reading.
double Walk(const Problem& problem, const Options& options, const Instance& inst, int agent_index,
            const std::vector<int32_t>& route, std::vector<std::string>* errors,
            bool wait_at_start = false) {
  const Agent& agent = problem.agents_ordered()[static_cast<size_t>(agent_index)];
  const int32_t start = inst.starts[static_cast<size_t>(agent_index)];
  const int32_t end = inst.ends[static_cast<size_t>(agent_index)];
  auto complain = [&](const std::string& what, size_t p) {
    if (errors == nullptr) return;
    std::ostringstream line;
    line << "agent " << agent_index << " position " << p << ": " << what;
    errors->push_back(line.str());
  };
  double t = 0.0;
  for (size_t p = 0; p < route.size(); ++p) {
    const int32_t node = route[p];
    if (p > 0) {
      const int32_t prev = route[p - 1];
      bool free_stop = !options.return_to_end && (node == start || node == end);
      if (prev != node && !free_stop) t += Travel(problem, agent.type, prev, node);
    }
    auto window = inst.windows.find(node);
    if (window != inst.windows.end() && (p > 0 || wait_at_start)) {
      if (t > window->second.second) complain("arrives after the window closes", p);
      t = std::max(t, window->second.first);
    }
    if (p > 0 && agent.time_limit > 0.0 && t > agent.time_limit) {
      complain("exceeds the time limit", p);
    }
  }
  return t;
}

void CheckRouteShape(const Problem& problem, const Options& options, const Instance& inst,
                     int agent_index, const std::vector<int32_t>& route,
                     std::vector<std::string>& errors) {
  const Agent& agent = problem.agents_ordered()[static_cast<size_t>(agent_index)];
  const int32_t start = inst.starts[static_cast<size_t>(agent_index)];
  const int32_t end = inst.ends[static_cast<size_t>(agent_index)];
  const std::string who = "agent " + std::to_string(agent_index) + ": ";
  if (route.empty()) {
    errors.push_back(who + "empty route");
    return;
  }
  if (route.front() != start) errors.push_back(who + "does not start at its start node");
  const int32_t last = route.back();
  bool may_stop = last == end || (!options.return_to_end && last == start);
  if (!may_stop) errors.push_back(who + "stops at node " + std::to_string(last));
  for (size_t p = 1; p < route.size(); ++p) {
    const int32_t node = route[p];
    if (!TypeAllowed(problem, agent.type, node)) {
      errors.push_back(who + "type not allowed at node " + std::to_string(node));
    }
    if (inst.depots.count(node) != 0 && p + 1 != route.size()) {
      errors.push_back(who + "passes through depot " + std::to_string(node));
    }
  }
}

// A route passes when one reading of its start (see Walk) meets every time rule
// and gives the reported cost; otherwise the first reading's complaints stand.
void CheckRouteTime(const Problem& problem, const Options& options, const Instance& inst,
                    int agent_index, const std::vector<int32_t>& route, double reported,
                    std::vector<std::string>& errors) {
  std::vector<std::string> first;
  for (bool wait_at_start : {false, true}) {
    std::vector<std::string> found;
    double cost = Walk(problem, options, inst, agent_index, route, &found, wait_at_start);
    if (std::abs(cost - reported) > kCostTolerance) {
      std::ostringstream line;
      line << "agent " << agent_index << ": reported cost " << reported
           << " but the route costs " << cost;
      found.push_back(line.str());
    }
    if (found.empty()) return;
    if (!wait_at_start) first = std::move(found);
  }
  errors.insert(errors.end(), first.begin(), first.end());
}

}  // namespace

double RouteCost(const Problem& problem, const Options& options, int agent_index,
                 const std::vector<int32_t>& route) {
  return Walk(problem, options, Compile(problem), agent_index, route, nullptr);
}

std::vector<std::string> CheckSolution(const Problem& problem, const Options& options,
                                       const Result& result) {
  std::vector<std::string> errors;
  const Instance inst = Compile(problem);
  const auto num_agents = static_cast<int>(problem.agents_ordered().size());
  std::map<int32_t, int> visits;
  for (int a = 0; a < num_agents; ++a) {
    auto path = result.paths.find(a);
    auto time = result.times.find(a);
    if (path == result.paths.end() || time == result.times.end()) {
      errors.push_back("agent " + std::to_string(a) + ": no route or no cost");
      continue;
    }
    const std::vector<int32_t>& route = path->second;
    CheckRouteShape(problem, options, inst, a, route, errors);
    CheckRouteTime(problem, options, inst, a, route, time->second, errors);
    for (size_t p = 1; p < route.size(); ++p) ++visits[route[p]];
  }
  for (int32_t node = 0; node < static_cast<int32_t>(problem.nodes().size()); ++node) {
    if (inst.depots.count(node) != 0) continue;
    if (visits[node] != 1) {
      errors.push_back("target " + std::to_string(node) + " visited " +
                       std::to_string(visits[node]) + " times");
    }
  }
  for (const auto& [key, route] : result.paths) {
    if (key < 0 || key >= num_agents) errors.push_back("route for unknown agent " + std::to_string(key));
  }
  return errors;
}

}  // namespace quarn::test
