#include "exact_solver.h"

#include "support/solution_checker.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace quarn::test {
namespace {

constexpr double kNone = std::numeric_limits<double>::infinity();

double Combine(ObjectiveType objective, double a, double b) {
  return objective == ObjectiveType::MinSum ? a + b : std::max(a, b);
}

// One agent's best route for every set of targets.
struct AgentTable {
  std::vector<double> cost;                      // by target set; kNone: no route
  std::vector<int32_t> last;                     // its last target (position in Targets), -1: none
  std::vector<std::optional<int32_t>> final_node;  // where it ends
  std::vector<double> earliest;                  // by set * m + last target
  std::vector<int32_t> parent;                   // the target before, -1: the start
};

AgentTable TableOf(const RouteRules& rules, int agent) {
  const auto& targets = rules.Targets();
  const size_t m = targets.size();
  const size_t sets = size_t{1} << m;
  AgentTable table;
  table.cost.assign(sets, kNone);
  table.last.assign(sets, -1);
  table.final_node.assign(sets, std::nullopt);
  table.earliest.assign(sets * m, kNone);
  table.parent.assign(sets * m, -1);
  // An agent that cannot leave its start in time has no route, not even an idle one.
  const std::optional<double> departure = rules.Departure(agent);
  if (!departure) return table;
  for (size_t j = 0; j < m; ++j) {
    if (auto t = rules.Step(agent, rules.Start(agent), *departure, targets[j])) {
      table.earliest[(size_t{1} << j) * m + j] = *t;
    }
  }
  for (size_t set = 1; set < sets; ++set) {
    for (size_t j = 0; j < m; ++j) {
      const double t = table.earliest[set * m + j];
      if (t == kNone) continue;
      for (size_t k = 0; k < m; ++k) {
        if ((set >> k) & 1u) continue;
        auto next = rules.Step(agent, targets[j], t, targets[k]);
        const size_t to = (set | (size_t{1} << k)) * m + k;
        if (next && *next < table.earliest[to]) {
          table.earliest[to] = *next;
          table.parent[to] = static_cast<int32_t>(j);
        }
      }
    }
  }
  if (auto idle = rules.Finish(agent, rules.Start(agent), *departure)) {
    table.cost[0] = idle->second;
    table.final_node[0] = idle->first;
  }
  for (size_t set = 1; set < sets; ++set) {
    // The load depends on the set alone, never on the order.
    if (!rules.Fits(agent, set)) continue;
    for (size_t j = 0; j < m; ++j) {
      const double t = table.earliest[set * m + j];
      if (t == kNone) continue;
      auto end = rules.Finish(agent, targets[j], t);
      if (end && end->second < table.cost[set]) {
        table.cost[set] = end->second;
        table.last[set] = static_cast<int32_t>(j);
        table.final_node[set] = end->first;
      }
    }
  }
  return table;
}

std::vector<int32_t> RouteOf(const RouteRules& rules, int agent, const AgentTable& table,
                             size_t set) {
  const auto& targets = rules.Targets();
  const size_t m = targets.size();
  std::vector<int32_t> reversed;
  for (int32_t j = table.last[set]; j >= 0;) {
    reversed.push_back(targets[static_cast<size_t>(j)]);
    const int32_t before = table.parent[set * m + static_cast<size_t>(j)];
    set &= ~(size_t{1} << j);
    j = before;
  }
  std::vector<int32_t> route = {rules.Start(agent)};
  route.insert(route.end(), reversed.rbegin(), reversed.rend());
  return route;
}

}  // namespace

RouteRules::RouteRules(const Problem& problem, const Options& options)
    : problem_(problem),
      return_to_end_(options.return_to_end),
      missing_cost_(options.missing_cost),
      enforce_capacities_(options.enforce_capacities) {
  std::unordered_map<uint64_t, int32_t> index_of_id;
  int32_t index = 0;
  // A later duplicate id wins, as in the checker.
  for (const Node& node : problem.nodes()) index_of_id[node.id] = index++;
  std::set<int32_t> depots;
  for (const Agent& agent : problem.agents_ordered()) {
    starts_.push_back(index_of_id.at(agent.start_node));
    ends_.push_back(index_of_id.at(agent.end_node));
    depots.insert({starts_.back(), ends_.back()});
  }
  services_.assign(static_cast<size_t>(index), 0.0);
  for (int32_t node = 0; node < index; ++node) {
    if (depots.count(node) != 0) continue;
    targets_.push_back(node);
    services_[static_cast<size_t>(node)] = problem.nodes()[static_cast<size_t>(node)].service;
  }
  for (const auto& [id, window] : problem.time_windows().windows_by_node) {
    auto it = index_of_id.find(id);
    if (it != index_of_id.end()) windows_[it->second] = window;
  }
}

bool RouteRules::TypeAllowed(int agent, int32_t node) const {
  const auto& table = problem_.assignment().allowed_types_by_node;
  auto entry = table.find(problem_.nodes()[static_cast<size_t>(node)].id);
  if (entry == table.end()) return true;
  const std::string& type = problem_.agents_ordered()[static_cast<size_t>(agent)].type;
  return std::find(entry->second.begin(), entry->second.end(), type) != entry->second.end();
}

bool RouteRules::Fits(int agent, size_t set) const {
  if (!enforce_capacities_) return true;
  const double capacity = problem_.agents_ordered()[static_cast<size_t>(agent)].capacity_limit;
  if (!(capacity > 0.0)) return true;
  double load = 0.0;
  for (size_t j = 0; j < targets_.size(); ++j) {
    if ((set >> j) & 1u) load += problem_.nodes()[static_cast<size_t>(targets_[j])].demand;
  }
  return !(load > capacity);
}

double RouteRules::Travel(int agent, int32_t from, int32_t to) const {
  const std::string& type = problem_.agents_ordered()[static_cast<size_t>(agent)].type;
  auto matrix = problem_.cost_matrices().find(type);
  if (matrix == problem_.cost_matrices().end()) return missing_cost_;
  const auto& rows = matrix->second;
  if (static_cast<size_t>(from) >= rows.size() || static_cast<size_t>(to) >= rows[from].size()) {
    return missing_cost_;
  }
  return std::isnan(rows[from][to]) ? missing_cost_ : rows[from][to];
}

std::optional<double> RouteRules::Step(int agent, int32_t from, double t, int32_t to) const {
  if (!TypeAllowed(agent, to)) return std::nullopt;
  const bool free_stop = !return_to_end_ && (to == Start(agent) || to == End(agent));
  if (from != to && !free_stop) {
    const double cost = Travel(agent, from, to);
    if (cost >= missing_cost_) return std::nullopt;
    t += cost;
  }
  auto window = windows_.find(to);
  if (window != windows_.end()) {
    if (t > window->second.second) return std::nullopt;
    t = std::max(t, window->second.first);
  }
  t += services_[static_cast<size_t>(to)];
  const double limit = problem_.agents_ordered()[static_cast<size_t>(agent)].time_limit;
  if (limit > 0.0 && t > limit) return std::nullopt;
  return t;
}

std::optional<double> RouteRules::Departure(int agent) const {
  auto window = windows_.find(Start(agent));
  if (window == windows_.end()) return 0.0;
  if (window->second.second < 0.0) return std::nullopt;
  const double t = std::max(0.0, window->second.first);
  const double limit = problem_.agents_ordered()[static_cast<size_t>(agent)].time_limit;
  if (limit > 0.0 && t > limit) return std::nullopt;
  return t;
}

double RouteRules::Clock(int agent, const std::vector<int32_t>& route) const {
  double t = 0.0;
  if (!route.empty()) {
    auto window = windows_.find(route.front());
    if (window != windows_.end()) t = std::max(t, window->second.first);
  }
  for (size_t p = 1; p < route.size(); ++p) {
    const int32_t to = route[p];
    const bool free_stop = !return_to_end_ && (to == Start(agent) || to == End(agent));
    if (route[p - 1] != to && !free_stop) t += Travel(agent, route[p - 1], to);
    auto window = windows_.find(to);
    if (window != windows_.end()) t = std::max(t, window->second.first);
    t += services_[static_cast<size_t>(to)];
  }
  return t;
}

std::optional<std::pair<std::optional<int32_t>, double>> RouteRules::Finish(int agent,
                                                                           int32_t last,
                                                                           double t) const {
  // An agent that visited nothing may stay [start] where that is a whole route.
  if (last == Start(agent) && (Start(agent) == End(agent) || !return_to_end_)) {
    return std::make_pair(std::optional<int32_t>{}, t);
  }
  std::optional<std::pair<std::optional<int32_t>, double>> best;
  std::vector<int32_t> stops = {End(agent)};
  if (!return_to_end_ && Start(agent) != End(agent)) stops.push_back(Start(agent));
  for (int32_t stop : stops) {
    auto clock = Step(agent, last, t, stop);
    if (clock && (!best || *clock < best->second)) best = std::make_pair(stop, *clock);
  }
  return best;
}

ExactAnswer SolveExactly(const Problem& problem, const Options& options) {
  const RouteRules rules(problem, options);
  const size_t m = rules.Targets().size();
  if (m > static_cast<size_t>(kMaxExactTargets)) {
    throw std::invalid_argument("SolveExactly: " + std::to_string(m) + " targets, at most " +
                                std::to_string(kMaxExactTargets));
  }
  ExactAnswer answer;
  const int agents = rules.NumAgents();
  if (agents == 0) {
    answer.feasible = m == 0;
    return answer;
  }
  const size_t sets = size_t{1} << m;
  std::vector<AgentTable> tables;
  for (int a = 0; a < agents; ++a) tables.push_back(TableOf(rules, a));
  // best[a][set]: the best objective of agents 0..a serving exactly `set`; choice: agent a's part.
  const auto rows = static_cast<size_t>(agents);
  std::vector<std::vector<double>> best(rows, std::vector<double>(sets, kNone));
  std::vector<std::vector<size_t>> choice(rows, std::vector<size_t>(sets, 0));
  best[0] = tables[0].cost;
  for (size_t set = 0; set < sets; ++set) choice[0][set] = set;
  for (size_t a = 1; a < static_cast<size_t>(agents); ++a) {
    for (size_t set = 0; set < sets; ++set) {
      for (size_t part = set;; part = (part - 1) & set) {  // every subset of `set`
        const double own = tables[a].cost[part];
        const double rest = best[a - 1][set ^ part];
        if (own != kNone && rest != kNone) {
          const double value = Combine(options.objective, own, rest);
          if (value < best[a][set]) {
            best[a][set] = value;
            choice[a][set] = part;
          }
        }
        if (part == 0) break;
      }
    }
  }
  size_t all = sets - 1;
  // With optional targets the routes serve the set that pays best, the rest
  // left out at their penalties.
  std::vector<int32_t> depots;
  for (int a = 0; a < agents; ++a) depots.insert(depots.end(), {rules.Start(a), rules.End(a)});
  std::vector<std::optional<double>> penalty;
  for (int32_t v : rules.Targets()) penalty.push_back(LeftOutPenalty(problem, options, depots, v));
  double objective = best.back()[all];
  double paid = 0.0;
  for (size_t set = 0; set + 1 < sets; ++set) {
    if (best.back()[set] == kNone) continue;
    double out = 0.0;
    for (size_t j = 0; j < m && out != kNone; ++j) {
      if ((set >> j & 1) == 0) out = penalty[j] ? out + *penalty[j] : kNone;
    }
    if (out == kNone || !(objective == kNone || best.back()[set] + out < objective + paid)) continue;
    all = set;
    objective = best.back()[set];
    paid = out;
  }
  if (objective == kNone) return answer;
  answer.feasible = true;
  answer.objective = objective + paid;
  for (size_t j = 0; j < m; ++j) {
    if ((all >> j & 1) == 0) answer.witness.unassigned.push_back(rules.Targets()[j]);
  }
  answer.witness.penalty = paid;
  size_t left = all;
  for (int a = agents - 1; a >= 0; --a) {
    const size_t part = choice[static_cast<size_t>(a)][left];
    const AgentTable& table = tables[static_cast<size_t>(a)];
    std::vector<int32_t> route = RouteOf(rules, a, table, part);
    if (table.final_node[part]) route.push_back(*table.final_node[part]);
    answer.witness.paths[a] = route;
    answer.witness.times[a] = table.cost[part];
    left ^= part;
  }
  return answer;
}

double ObjectiveOf(const Result& result, const Options& options) {
  double value = options.objective == ObjectiveType::MinSum || result.times.empty() ? 0.0 : -kNone;
  for (const auto& entry : result.times) value = Combine(options.objective, value, entry.second);
  return value + result.penalty;
}

}  // namespace quarn::test
