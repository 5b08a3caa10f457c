#include "support/solution_checker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <limits>
#include <set>
#include <unordered_map>

namespace quarn::test {
namespace {

constexpr double kCostTolerance = 1e-6;

// Start and end of service by node index.
using Times = std::map<int32_t, std::pair<double, double>>;

// The problem seen by node index, built independently of the solver.
struct Instance {
  Instance(const Problem& p, const Options& o) : problem(p), options(o) {
    int32_t index = 0;
    for (const Node& node : p.nodes()) index_of_id[node.id] = index++;  // a later duplicate wins
    for (const Agent& agent : p.agents_ordered()) {
      starts.push_back(index_of_id.at(agent.start_node));
      ends.push_back(index_of_id.at(agent.end_node));
      depots.insert({starts.back(), ends.back()});
    }
    auto indexed = [this](const std::vector<NodePair>& given) {
      std::vector<std::pair<int32_t, int32_t>> out;
      for (const auto& [a, b] : given) out.emplace_back(index_of_id.at(a), index_of_id.at(b));
      return out;
    };
    if (o.enforce_sequence) {
      plain = indexed(p.precedence_pairs);
      same = indexed(p.same_pairs);
      diff = indexed(p.diff_pairs);
    }
    for (const auto& [id, window] : p.time_windows().windows_by_node) {
      auto it = index_of_id.find(id);
      if (it != index_of_id.end()) windows[it->second] = window;
    }
  }

  bool TypeAllowed(const std::string& type, int32_t node) const {
    const auto& table = problem.assignment().allowed_types_by_node;
    auto entry = table.find(problem.nodes()[static_cast<size_t>(node)].id);
    if (entry == table.end()) return true;
    for (const std::string& name : entry->second) {
      if (name == type) return true;
    }
    return false;
  }

  double Travel(const std::string& type, int32_t from, int32_t to) const {
    auto rule = problem.cost_rules().find(type);
    if (rule != problem.cost_rules().end()) {
      const Position& a = problem.nodes()[static_cast<size_t>(from)].position;
      const Position& b = problem.nodes()[static_cast<size_t>(to)].position;
      return RuleCost(rule->second, a.x - b.x, a.y - b.y);
    }
    auto matrix = problem.cost_matrices().find(type);
    if (matrix == problem.cost_matrices().end()) return options.missing_cost;
    const auto& rows = matrix->second;
    if (static_cast<size_t>(from) >= rows.size() || static_cast<size_t>(to) >= rows[from].size()) {
      return options.missing_cost;
    }
    return std::isnan(rows[from][to]) ? options.missing_cost : rows[from][to];
  }

  // The distance matrix's entry, or the travel where the type has none.
  double Distance(const std::string& type, int32_t from, int32_t to) const {
    auto matrix = problem.distance_matrices().find(type);
    if (matrix == problem.distance_matrices().end()) return Travel(type, from, to);
    return matrix->second.at(static_cast<size_t>(from)).at(static_cast<size_t>(to));
  }

  // A depot's service counts nothing.
  double Service(int32_t node) const {
    return depots.count(node) != 0 ? 0.0 : problem.nodes()[static_cast<size_t>(node)].service;
  }

  // Walks the route with its clock, from time 0 at the start, and returns its
  // finishing time (service included); appends every broken time rule to
  // `errors` and sums the legs' distances into `distance`.
  // With `times`, a node waits for the ends its plain pairs' `before` nodes
  // have there, and the route's starts and ends of service are written back.
  double Walk(int a, const std::vector<int32_t>& route, std::vector<std::string>* errors,
              double* distance = nullptr, Times* times = nullptr) const {
    const Agent& agent = problem.agents_ordered()[static_cast<size_t>(a)];
    const auto k = static_cast<size_t>(a);
    auto complain = [&](const std::string& what, size_t p) {
      if (errors != nullptr) {
        errors->push_back("agent " + std::to_string(a) + " position " + std::to_string(p) + ": " +
                          what);
      }
    };
    double t = 0.0;
    for (size_t p = 0; p < route.size(); ++p) {
      const int32_t node = route[p];
      if (p > 0) {
        bool free_stop = !options.return_to_end && (node == starts[k] || node == ends[k]);
        if (route[p - 1] != node && !free_stop) {
          const double cost = Travel(agent.type, route[p - 1], node);
          if (cost >= options.missing_cost) complain("no arc from node " + std::to_string(route[p - 1]), p);
          t += cost;
          if (distance != nullptr) *distance += Distance(agent.type, route[p - 1], node);
        }
      }
      if (times != nullptr && p > 0 && p + 1 < route.size()) {
        for (const auto& [before, after] : Plain()) {
          auto end = times->find(before);
          if (after == node && end != times->end()) t = std::max(t, end->second.second);
        }
      }
      auto window = windows.find(node);
      if (window != windows.end()) {
        if (t > window->second.second) complain("window: service starts after the window closes", p);
        t = std::max(t, window->second.first);
      }
      const double start = t;
      t += Service(node);
      if (times != nullptr && p > 0 && p + 1 < route.size()) (*times)[node] = {start, t};
      if (agent.time_limit > 0.0 && t > agent.time_limit) {
        complain("max_length: exceeds the time limit", p);
      }
    }
    return t;
  }

  void CheckShape(int a, const std::vector<int32_t>& route, std::vector<std::string>& errors) const {
    const auto k = static_cast<size_t>(a);
    const std::string who = "agent " + std::to_string(a) + ": ";
    if (route.empty()) {
      errors.push_back(who + "empty route");
      return;
    }
    if (route.front() != starts[k]) errors.push_back(who + "does not start at its start node");
    const int32_t last = route.back();
    if (last != ends[k] && (options.return_to_end || last != starts[k])) {
      errors.push_back(who + "stops at node " + std::to_string(last));
    }
    const std::string& type = problem.agents_ordered()[k].type;
    for (size_t p = 1; p < route.size(); ++p) {
      if (!TypeAllowed(type, route[p])) {
        errors.push_back(who + "type not allowed at node " + std::to_string(route[p]));
      }
      if (depots.count(route[p]) != 0 && p + 1 != route.size()) {
        errors.push_back(who + "passes through depot " + std::to_string(route[p]));
      }
    }
  }

  // The capacity rule: the route's targets' demands summed in route order.
  void CheckLoad(int a, const std::vector<int32_t>& route, std::vector<std::string>& errors) const {
    if (!options.enforce_capacities) return;
    const double capacity = problem.agents_ordered()[static_cast<size_t>(a)].capacity_limit;
    double load = 0.0;
    for (int32_t node : route) {
      if (depots.count(node) == 0) load += problem.nodes()[static_cast<size_t>(node)].demand;
    }
    if (capacity > 0.0 && load > capacity) {
      errors.push_back("agent " + std::to_string(a) + ": capacity exceeded, load " + std::to_string(load) +
                       " above capacity " + std::to_string(capacity));
    }
  }

  const std::vector<std::pair<int32_t, int32_t>>& Plain() const { return plain; }
  bool HasPairs() const { return !plain.empty() || !same.empty() || !diff.empty(); }

  // Every route walked again with the ends of the last round until no time
  // moves: the earliest plan the plain pairs allow; `settled` false when the
  // waits grow for ever (a cycle through the routes).
  Times LinkedTimes(const std::vector<std::vector<int32_t>>& routes, bool& settled) const {
    Times times;
    const size_t rounds = problem.nodes().size() + 2;
    for (size_t round = 0; round < rounds; ++round) {
      Times next = times;
      for (size_t a = 0; a < routes.size(); ++a) Walk(static_cast<int>(a), routes[a], nullptr, nullptr, &next);
      if (next == times) {
        settled = true;
        return times;
      }
      times = std::move(next);
    }
    settled = false;
    return times;
  }

  // The pair rules a plan breaks, each named by its nodes' ids.
  void CheckPairs(const std::vector<std::vector<int32_t>>& routes, const Times& times, bool settled,
                  std::vector<std::string>& errors) const {
    if (!HasPairs()) return;
    std::map<int32_t, std::pair<size_t, size_t>> where;  // route and position
    for (size_t a = 0; a < routes.size(); ++a) {
      for (size_t p = 1; p + 1 < routes[a].size(); ++p) where[routes[a][p]] = {a, p};
    }
    auto id = [this](int32_t v) { return std::to_string(problem.nodes()[static_cast<size_t>(v)].id); };
    auto name = [&](const char* kind, int32_t a, int32_t b) {
      return std::string("pair ") + id(a) + " before " + id(b) + kind + " broken";
    };
    if (!settled) errors.push_back("pairs: the waits never settle (a cycle through the routes)");
    for (const auto& [a, b] : plain) {
      if (where.count(a) == 0 || where.count(b) == 0) continue;
      const bool order = where[a].first != where[b].first || where[a].second < where[b].second;
      if (!order || times.at(b).first < times.at(a).second - kCostTolerance) errors.push_back(name("", a, b));
    }
    for (const auto& [a, b] : same) {
      if (where.count(a) == 0 || where.count(b) == 0 || where[a].first != where[b].first ||
          where[a].second > where[b].second) {
        errors.push_back(name(" (same agent)", a, b));
      }
    }
    for (const auto& [a, b] : diff) {
      if (where.count(a) != 0 && where.count(b) != 0 && where[a].first == where[b].first) {
        errors.push_back(name(" (different agents)", a, b));
      }
    }
  }

  bool ByDistance() const {
    return options.minimise == Minimise::Distance && options.objective == ObjectiveType::MinSum;
  }

  // The reported cost is the objective's measure; with distances given, both
  // reported measures are checked too.
  void CheckTime(int a, const Result& result, std::vector<std::string>& errors, const Times* linked) const {
    const std::vector<int32_t>& route = result.paths.at(a);
    double distance = 0.0;
    Times times = linked != nullptr ? *linked : Times{};
    const double duration = Walk(a, route, &errors, &distance, linked != nullptr ? &times : nullptr);
    const std::string who = "agent " + std::to_string(a) + ": ";
    auto differs = [](double x, double y) { return std::abs(x - y) > kCostTolerance; };
    const double reported = result.times.at(a);
    const double cost = ByDistance() ? distance : duration;
    if (differs(cost, reported)) {
      errors.push_back(who + "cost: reported " + std::to_string(reported) + " but the route " +
                       (ByDistance() ? "distance" : "duration") + " is " + std::to_string(cost));
    }
    if (problem.distance_matrices().empty()) return;
    auto d = result.distances.find(a);
    auto u = result.durations.find(a);
    if (d == result.distances.end() || differs(d->second, distance)) {
      errors.push_back(who + "distance: reported wrong or missing");
    }
    if (u == result.durations.end() || differs(u->second, duration)) {
      errors.push_back(who + "duration: reported wrong or missing");
    }
  }

  const Problem& problem;
  const Options& options;
  std::unordered_map<uint64_t, int32_t> index_of_id;
  std::vector<int32_t> starts;
  std::vector<int32_t> ends;
  std::set<int32_t> depots;
  std::map<int32_t, std::pair<double, double>> windows;
  std::vector<std::pair<int32_t, int32_t>> plain;
  std::vector<std::pair<int32_t, int32_t>> same;
  std::vector<std::pair<int32_t, int32_t>> diff;
};

// A target may stay off every route only with a penalty (its own, or the
// default one unless it is a depot); the reported penalty is their sum. A
// left-out target counts as visited once for the rule that follows.
void CheckLeftOut(const Problem& problem, const Options& options, const std::set<int32_t>& depots,
                  const Result& result, std::map<int32_t, int>& visits, std::vector<std::string>& errors) {
  double penalty = 0.0;
  for (size_t i = 0; i < result.unassigned.size(); ++i) {
    const int32_t node = result.unassigned[i];
    const std::string who = "left-out target " + std::to_string(node) + ": ";
    if (node < 0 || static_cast<size_t>(node) >= problem.nodes().size()) {
      errors.push_back(who + "no such node");
      continue;
    }
    if (i > 0 && node <= result.unassigned[i - 1]) errors.push_back(who + "the list is not ascending");
    const std::optional<double> own =
        LeftOutPenalty(problem, options, std::vector<int32_t>(depots.begin(), depots.end()), node);
    if (!own) {
      errors.push_back(who + "it must be served");
      continue;
    }
    if (visits[node] != 0) errors.push_back(who + "it is on a route too");
    visits[node] = 1;
    penalty += *own;
  }
  if (std::abs(penalty - result.penalty) > 1e-6 * std::max(1.0, std::abs(penalty))) {
    errors.push_back("penalty: reported " + std::to_string(result.penalty) + ", the left-out targets' sum is " +
                     std::to_string(penalty));
  }
}

}  // namespace

std::optional<double> LeftOutPenalty(const Problem& problem, const Options& options,
                                     const std::vector<int32_t>& depots, int32_t node) {
  if (std::find(depots.begin(), depots.end(), node) != depots.end()) return std::nullopt;
  const Node& entry = problem.nodes()[static_cast<size_t>(node)];
  if (entry.penalty) return entry.penalty;
  if (entry.type == NodeType::DEPOT) return std::nullopt;
  return options.default_penalty;
}

std::string Violations(const Problem& problem, const Options& options, const Result& result) {
  std::vector<std::string> errors;
  const Instance inst(problem, options);
  const auto num_agents = static_cast<int>(problem.agents_ordered().size());
  std::map<int32_t, int> visits;
  std::vector<std::vector<int32_t>> routes(static_cast<size_t>(num_agents));
  for (int a = 0; a < num_agents; ++a) {
    auto path = result.paths.find(a);
    if (path != result.paths.end()) routes[static_cast<size_t>(a)] = path->second;
  }
  bool settled = true;
  const Times linked = inst.HasPairs() ? inst.LinkedTimes(routes, settled) : Times{};
  inst.CheckPairs(routes, linked, settled, errors);
  for (int a = 0; a < num_agents; ++a) {
    auto path = result.paths.find(a);
    auto time = result.times.find(a);
    if (path == result.paths.end() || time == result.times.end()) {
      errors.push_back("agent " + std::to_string(a) + ": no route or no cost");
      continue;
    }
    inst.CheckShape(a, path->second, errors);
    inst.CheckTime(a, result, errors, inst.HasPairs() ? &linked : nullptr);
    inst.CheckLoad(a, path->second, errors);
    for (size_t p = 1; p < path->second.size(); ++p) ++visits[path->second[p]];
  }
  CheckLeftOut(problem, options, inst.depots, result, visits, errors);
  for (int32_t node = 0; node < static_cast<int32_t>(problem.nodes().size()); ++node) {
    if (inst.depots.count(node) == 0 && visits[node] != 1) {
      errors.push_back("target " + std::to_string(node) + " visited " + std::to_string(visits[node]) +
                       " times");
    }
  }
  for (const auto& entry : result.paths) {
    if (entry.first < 0 || entry.first >= num_agents) {
      errors.push_back("route for unknown agent " + std::to_string(entry.first));
    }
  }
  std::string text;
  for (const std::string& line : errors) text += line + "\n";
  return text;
}

std::vector<double> ExpectedCosts(const Problem& problem, const Options& options,
                                  const std::vector<std::vector<int32_t>>& routes) {
  const Instance inst(problem, options);
  bool settled = true;
  const Times linked = inst.HasPairs() ? inst.LinkedTimes(routes, settled) : Times{};
  std::vector<double> costs;
  for (size_t a = 0; a < routes.size(); ++a) {
    Times own = linked;
    double distance = 0.0;
    const double walked =
        inst.Walk(static_cast<int>(a), routes[a], nullptr, &distance, inst.HasPairs() ? &own : nullptr);
    costs.push_back(inst.ByDistance() ? distance : walked);
  }
  return costs;
}

std::optional<double> OptimalValue(const Problem& problem, const Options& options) {
  const Instance inst(problem, options);
  const auto num_agents = static_cast<int>(problem.agents_ordered().size());
  // The targets in every order, cut into one run per agent at the markers (-1).
  std::vector<int32_t> order(static_cast<size_t>(std::max(num_agents - 1, 0)), -1);
  for (int32_t node = 0; node < static_cast<int32_t>(problem.nodes().size()); ++node) {
    if (inst.depots.count(node) == 0) order.push_back(node);
  }
  std::sort(order.begin(), order.end());
  std::optional<double> best;
  // Pairs tie the routes' clocks: each plan is judged whole, every choice of final depot apart.
  auto linked_value = [&](const std::vector<std::vector<int32_t>>& runs) {
    double found = std::numeric_limits<double>::infinity();
    const int choices = options.return_to_end ? 1 : 1 << num_agents;
    for (int mask = 0; mask < choices; ++mask) {
      std::vector<std::vector<int32_t>> routes = runs;
      std::vector<std::string> errors;
      for (int a = 0; a < num_agents; ++a) {
        const auto k = static_cast<size_t>(a);
        routes[k].push_back((mask >> a & 1) != 0 ? inst.starts[k] : inst.ends[k]);
        inst.CheckShape(a, routes[k], errors);
        inst.CheckLoad(a, routes[k], errors);
      }
      bool settled = true;
      const Times times = inst.LinkedTimes(routes, settled);
      inst.CheckPairs(routes, times, settled, errors);
      double value = 0.0;
      for (int a = 0; a < num_agents; ++a) {
        Times own = times;
        double distance = 0.0;
        const double walked = inst.Walk(a, routes[static_cast<size_t>(a)], &errors, &distance, &own);
        const double cost = inst.ByDistance() ? distance : walked;
        value = options.objective == ObjectiveType::MinMax ? std::max(value, cost) : value + cost;
      }
      if (errors.empty()) found = std::min(found, value);
    }
    return found;
  };
  do {
    if (inst.HasPairs()) {
      std::vector<std::vector<int32_t>> runs;
      auto run = order.begin();
      for (int a = 0; a < num_agents; ++a) {
        auto cut = std::find(run, order.end(), -1);
        runs.push_back({inst.starts[static_cast<size_t>(a)]});
        runs.back().insert(runs.back().end(), run, cut);
        run = cut == order.end() ? cut : cut + 1;
      }
      const double value = linked_value(runs);
      if (value < std::numeric_limits<double>::infinity() && (!best || value < *best)) best = value;
      continue;
    }
    double value = 0.0;
    auto run = order.begin();
    for (int a = 0; a < num_agents; ++a) {
      auto cut = std::find(run, order.end(), -1);
      std::vector<int32_t> route{inst.starts[static_cast<size_t>(a)]};
      route.insert(route.end(), run, cut);
      run = cut == order.end() ? cut : cut + 1;
      // Open routes may stop at either depot, for free.
      double cost = std::numeric_limits<double>::infinity();
      for (int32_t last : {inst.ends[static_cast<size_t>(a)], inst.starts[static_cast<size_t>(a)]}) {
        route.push_back(last);
        std::vector<std::string> errors;
        inst.CheckShape(a, route, errors);
        inst.CheckLoad(a, route, errors);
        double distance = 0.0;
        const double walked = inst.Walk(a, route, &errors, &distance);
        if (errors.empty()) cost = std::min(cost, inst.ByDistance() ? distance : walked);
        route.pop_back();
        if (options.return_to_end) break;
      }
      value = options.objective == ObjectiveType::MinMax ? std::max(value, cost) : value + cost;
    }
    if (value < std::numeric_limits<double>::infinity() && (!best || value < *best)) best = value;
  } while (std::next_permutation(order.begin(), order.end()));
  return best;
}

}  // namespace quarn::test
