// Solves many small random instances exactly (subset dynamic programming under the
// solution checker's route rules) and with ZEL, and counts where they part:
// feasible instances ZEL fails, ZEL answers the checker rejects, ZEL answers above
// the optimum. Each class is split into groups by the first feature its
// instances have (open routes where an agent ends at another's start, time
// windows, negative costs, ...), and the smallest instance of each group is
// printed as an instance document, ready to become a regression test.
//
//   zel_bruteforce [--count N] [--seed S] [--budget EXPANSIONS] [--cross-check SOLUTIONS]
//                  [--dump DIR] [--start-windows PERCENT] [--improve ITERATIONS]
//                  [--stall ITERATIONS] [--limit SECONDS] [--negative PERCENT]
//                  [--capacities PERCENT] [--service PERCENT] [--penalties PERCENT]
//                  [--pairs PERCENT]
//
// --start-windows gives that share of the instances a window on every start depot
// (a few closing before time 0), drawn apart from the rest, so every instance
// is otherwise the one it is without the option. --capacities does the same with
// demands on the targets and capacities on the agents, enforced; --service with
// whole-number service times on the targets; --penalties with whole-number
// penalties on some targets or by default, so that answers leaving targets out
// are judged against the exhaustive optimum (penalties need --improve);
// --pairs with one to three target pairs (plain, "same" or "diff"), enforced,
// which only the improvement phase honours (so it needs --improve) and the
// dynamic programme does not know: their optimum is the enumeration's, and
// instances with more candidates than --cross-check allows are left out. The
// enumeration serves every target, so an instance gets pairs or penalties, not both.
//
// Searches stop at the expansion budget, never at a clock, so a run is repeatable.
// --improve turns the improvement phase on with that iteration budget (0: none, the
// stall rule ends it), --stall sets its stall rule (0: the default); --limit gives
// every solve a time limit and counts the solves that reach it (a budget that did
// not hold), by default none. --negative gives that share of the instances some
// negative arcs (default 10).
// The exact answers check themselves: each optimal witness must pass the checker,
// and on instances with at most SOLUTIONS candidate solutions (default 20000, 0:
// never) every candidate is judged by the checker and the best accepted one must
// match the dynamic programme. --dump writes every instance of a class to DIR,
// named by class and seed, its "note" saying what the optimum and ZEL were.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <exception>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/json_loader.h"
#include "model/problem.h"
#include "solver/solver.h"
#include "exact_solver.h"
#include "support/solution_checker.h"
#include "bench_random.h"

namespace {

using Document = nlohmann::ordered_json;
using quarn::test::ExactAnswer;
using quarn::test::RouteRules;

constexpr double kTolerance = 1e-6;

using Random = BenchRandom;

// What an instance has, for telling which features the failures share.
struct Features {
  bool open = false;
  bool closed = false;
  bool swapped = false;  // agent 0 runs A -> B and agent 1 B -> A
  bool crossed = false;  // some agent ends at another agent's start (swapped depots do)
  bool open_crossed = false;
  bool shared = false;   // every agent has the same start and the same end
  bool zero_costs = false;
  bool negative_costs = false;
  bool missing_arcs = false;  // costs of 9999 or more
  bool asymmetric = false;
  bool windows = false;
  bool start_windows = false;  // a window on a start depot
  bool service = false;        // service times on the targets
  bool limits = false;
  bool two_types = false;
  bool min_max = false;
  bool capacities = false;  // enforced
  bool penalties = false;   // some target may be left out
  bool pairs = false;       // target pairs, enforced
};

const std::vector<std::pair<std::string, bool Features::*>> kFeatureNames = {
    {"open routes", &Features::open},
    {"closed routes", &Features::closed},
    {"swapped depots", &Features::swapped},
    {"end at a start", &Features::crossed},
    {"open, end at a start", &Features::open_crossed},
    {"shared depots", &Features::shared},
    {"zero-cost arcs", &Features::zero_costs},
    {"negative costs", &Features::negative_costs},
    {"missing arcs", &Features::missing_arcs},
    {"asymmetric costs", &Features::asymmetric},
    {"time windows", &Features::windows},
    {"start windows", &Features::start_windows},
    {"service times", &Features::service},
    {"route limits", &Features::limits},
    {"two agent types", &Features::two_types},
    {"min-max", &Features::min_max},
    {"capacities", &Features::capacities},
    {"penalties", &Features::penalties},
    {"sequence pairs", &Features::pairs},
};

// The group of an instance: the first of these it has.
std::string GroupOf(const Features& f) {
  if (f.penalties) return "penalties";
  if (f.pairs) return "sequence pairs";
  if (f.capacities) return "capacities";
  if (f.start_windows) return "windows on start depots";
  if (f.service) return "service times";
  if (f.open_crossed) return "open routes, an agent ends at another's start";
  if (f.windows) return "time windows";
  if (f.negative_costs) return "negative costs";
  if (f.zero_costs) return "zero-cost arcs";
  if (f.missing_arcs) return "missing arcs";
  if (f.asymmetric) return "asymmetric costs";
  if (f.limits) return "route limits";
  if (f.open) return "open routes";
  return "none of these";
}

struct Generated {
  Document doc;
  Features features;
  int nodes = 0;
  int agents = 0;
};

// Agent k runs starts[k] -> ends[k]; the depots are the lowest node indices.
void ChooseDepots(Random& random, int agents, std::vector<int>& starts, std::vector<int>& ends,
                  Features& features) {
  enum { kSwapped, kShared, kSeparate };
  int layout = kSeparate;
  if (agents >= 2 && random.Chance(35)) {
    layout = kSwapped;
  } else if (random.Chance(50)) {
    layout = kShared;
  }
  const int shared_end = random.Chance(70) ? 0 : 1;
  for (int k = 0; k < agents; ++k) {
    if (layout == kSwapped) {
      const bool forward = k == 0 || (k == 2 && random.Chance(50));
      starts.push_back(forward ? 0 : 1);
      ends.push_back(forward ? 1 : 0);
    } else if (layout == kShared) {
      starts.push_back(0);
      ends.push_back(shared_end);
    } else {
      starts.push_back(k);
      ends.push_back(random.Chance(60) ? k : random.Between(0, agents));
    }
  }
  features.swapped = layout == kSwapped;
  for (int k = 0; k < agents; ++k) {
    features.crossed |=
        ends[k] != starts[k] && std::count(starts.begin(), starts.end(), ends[k]) > 0;
  }
  auto alike = [](const std::vector<int>& nodes) {
    return std::all_of(nodes.begin(), nodes.end(), [&](int v) { return v == nodes[0]; });
  };
  features.shared = alike(starts) && alike(ends);
}

std::vector<std::vector<int>> CostMatrix(Random& random, int n, int negative, Features& features) {
  std::vector<std::pair<int, int>> coords;
  for (int i = 0; i < n; ++i) coords.emplace_back(random.Between(0, 8), random.Between(0, 8));
  const bool manhattan = random.Chance(60);
  const auto size = static_cast<size_t>(n);
  std::vector<std::vector<int>> matrix(size, std::vector<int>(size, 0));
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i == j) continue;
      matrix[i][j] = manhattan ? std::abs(coords[i].first - coords[j].first) +
                                     std::abs(coords[i].second - coords[j].second)
                               : random.Between(1, 15);
    }
  }
  auto some_arcs = [&](int percent, const std::function<int()>& value) {
    if (!random.Chance(percent)) return;
    for (int times = random.Between(1, n); times > 0; --times) {
      const int i = random.Between(0, n - 1);
      const int j = random.Between(0, n - 1);
      if (i != j) matrix[i][j] = value();
    }
  };
  some_arcs(20, [] { return 0; });
  some_arcs(negative, [&] { return -random.Between(1, 6); });
  some_arcs(15, [&] { return random.Chance(50) ? 9999 : random.Between(10000, 20000); });
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      if (i == j) continue;
      features.zero_costs |= matrix[i][j] == 0;
      features.negative_costs |= matrix[i][j] < 0;
      features.missing_arcs |= matrix[i][j] >= 9999;
      features.asymmetric |= matrix[i][j] != matrix[j][i];
    }
  }
  return matrix;
}

// Windows on the start depots, from a stream of their own.
void AddStartWindows(uint64_t seed, int percent, Generated& out) {
  Random random(seed ^ 0x5eed5eed5eedULL);
  if (!random.Chance(percent)) return;
  Document items = Document::array();
  std::vector<int> seen;
  for (const Document& agent : out.doc["agents"]) {
    const int start = agent["start_node"].get<int>();
    if (std::find(seen.begin(), seen.end(), start) != seen.end()) continue;
    seen.push_back(start);
    const int open = random.Chance(10) ? -random.Between(2, 8) : random.Between(0, 12);
    items.push_back({{"node", start}, {"start", open}, {"end", open + random.Between(0, 25)}});
  }
  if (!out.doc.contains("constraints")) out.doc["constraints"] = Document::array();
  out.doc["constraints"].push_back({{"kind", "timewindow"}, {"items", items}});
  out.features.start_windows = true;
  out.features.windows = true;
}

// Demands of 0-4 on the targets and capacities on the agents, from a stream of
// their own; most capacities bind, some are 0 (no limit), and the depots carry
// demands too, which must count nothing.
void AddCapacities(uint64_t seed, int percent, Generated& out) {
  Random random(seed ^ 0xca9ac17eULL);
  if (!random.Chance(percent)) return;
  int total = 0;
  for (Document& node : out.doc["nodes"]) {
    const int demand = random.Between(0, 4);
    node["demand"] = demand;
    if (!node.contains("type")) total += demand;
  }
  const int agents = static_cast<int>(out.doc["agents"].size());
  for (Document& agent : out.doc["agents"]) {
    const int share = (total + agents - 1) / std::max(agents, 1);
    agent["capacity"] = random.Chance(15) ? 0 : random.Between(std::max(share - 2, 1), share + 4);
  }
  out.doc["options"]["enforce_capacities"] = true;
  out.features.capacities = true;
}

// Service times of 0 to 6 on the targets, from a stream of their own; a depot
// (the lowest node indices) may get one too, which must count nothing.
void AddServices(uint64_t seed, int percent, Generated& out) {
  Random random(seed ^ 0x5e971ce5e971ceULL);
  if (!random.Chance(percent)) return;
  for (Document& node : out.doc["nodes"]) node["service"] = random.Between(0, 6);
  out.features.service = true;
}

// Penalties of 0 to 30 on some targets, or on every one by default, from a
// stream of their own; a few instances get a target no agent can reach in time.
void AddPenalties(uint64_t seed, int percent, Generated& out) {
  Random random(seed ^ 0x9e7a1e5ULL);
  if (!random.Chance(percent)) return;
  if (random.Chance(30)) out.doc["options"]["default_penalty"] = random.Between(0, 30);
  std::vector<int> targets;
  for (Document& node : out.doc["nodes"]) {
    if (node.contains("type")) continue;
    targets.push_back(node["id"].get<int>());
    if (random.Chance(50)) node["penalty"] = random.Between(0, 30);
  }
  if (!targets.empty() && random.Chance(25)) {
    const int v = targets[static_cast<size_t>(random.Between(0, static_cast<int>(targets.size()) - 1))];
    if (!out.doc.contains("constraints")) out.doc["constraints"] = Document::array();
    out.doc["constraints"].push_back(
        {{"kind", "timewindow"}, {"items", Document::array({{{"node", v}, {"start", -5}, {"end", -1}}})}});
    out.doc["nodes"][static_cast<size_t>(v)]["penalty"] = random.Between(0, 30);
  }
  out.features.penalties = true;
}

// One to three pairs of targets from a stream of their own: plain and "same"
// pairs follow a random order of the targets (so they never close a cycle), a
// "diff" pair is dropped where "same" pairs bind its targets to one agent.
void AddPairs(uint64_t seed, int percent, Generated& out) {
  Random random(seed ^ 0x9a125e9ULL);
  if (!random.Chance(percent)) return;
  std::vector<int> targets;
  for (const Document& node : out.doc["nodes"]) {
    if (!node.contains("type")) targets.push_back(node["id"].get<int>());
  }
  if (targets.size() < 2) return;
  for (size_t i = targets.size(); i > 1; --i) {
    std::swap(targets[i - 1], targets[static_cast<size_t>(random.Between(0, static_cast<int>(i) - 1))]);
  }
  std::vector<int> group(out.doc["nodes"].size());
  for (size_t v = 0; v < group.size(); ++v) group[v] = static_cast<int>(v);
  std::function<int(int)> find = [&](int v) { return group[static_cast<size_t>(v)] == v ? v : find(group[static_cast<size_t>(v)]); };
  struct Pair { int before, after, kind; };
  std::vector<Pair> pairs;
  for (int k = random.Between(1, 3); k > 0; --k) {
    const int i = random.Between(0, static_cast<int>(targets.size()) - 2);
    const int j = random.Between(i + 1, static_cast<int>(targets.size()) - 1);
    const int pick = random.Between(0, 3);
    const Pair pair{targets[static_cast<size_t>(i)], targets[static_cast<size_t>(j)], pick < 2 ? 0 : pick - 1};
    if (pair.kind == 1) group[static_cast<size_t>(find(pair.before))] = find(pair.after);
    pairs.push_back(pair);
  }
  Document list = Document::array();
  for (const Pair& pair : pairs) {
    if (pair.kind == 2 && find(pair.before) == find(pair.after)) continue;
    Document item = {{"before", pair.before}, {"after", pair.after}};
    if (pair.kind > 0) item["type"] = pair.kind == 1 ? "same" : "diff";
    list.push_back(item);
  }
  if (!out.doc.contains("constraints")) out.doc["constraints"] = Document::array();
  out.doc["constraints"].push_back({{"kind", "sequence"}, {"precedence", list}});
  out.doc["options"]["enforce_sequence"] = true;
  out.features.pairs = true;
}

// `negative`: the percentage of cost matrices given some negative arcs.
Generated MakeInstance(uint64_t seed, int negative) {
  Random random(seed);
  Generated out;
  Features& features = out.features;
  out.agents = random.Between(1, 3);
  std::vector<int> starts;
  std::vector<int> ends;
  ChooseDepots(random, out.agents, starts, ends, features);
  const int depots = std::max(*std::max_element(starts.begin(), starts.end()),
                              *std::max_element(ends.begin(), ends.end())) + 1;
  out.nodes = random.Between(std::max(2, depots), 8);
  const int n = out.nodes;
  features.two_types = out.agents >= 2 && random.Chance(35);
  features.open = random.Chance(45);
  features.closed = !features.open;
  features.open_crossed = features.open && features.crossed;
  features.min_max = random.Chance(50);

  Document& doc = out.doc;
  doc["name"] = "zel_bruteforce seed " + std::to_string(seed);
  doc["nodes"] = Document::array();
  for (int i = 0; i < n; ++i) {
    Document node = {{"id", i}, {"x", i}, {"y", 0}};
    if (i < depots) node["type"] = "depot";
    doc["nodes"].push_back(node);
  }
  doc["agents"] = Document::array();
  const bool limits = random.Chance(25);
  for (int k = 0; k < out.agents; ++k) {
    Document agent = {{"id", k}, {"type", features.two_types && k % 2 == 1 ? "b" : "a"},
                      {"start_node", starts[k]}, {"end_node", ends[k]}};
    if (limits) agent["max_length"] = random.Between(4, 40);
    doc["agents"].push_back(agent);
  }
  features.limits = limits;
  doc["costs"] = Document::object();
  doc["costs"]["a"] = CostMatrix(random, n, negative, features);
  if (features.two_types) doc["costs"]["b"] = CostMatrix(random, n, negative, features);

  // With two types every node has an entry; depots allow both.
  doc["constraints"] = Document::array();
  if (features.two_types) {
    Document items = Document::array();
    for (int i = 0; i < n; ++i) {
      std::vector<std::string> types = {"a", "b"};
      const int pick = i >= depots ? random.Between(0, 4) : 2;
      if (pick == 0) types = {"a"};
      if (pick == 1) types = {"b"};
      items.push_back({{"node", i}, {"types", types}});
    }
    doc["constraints"].push_back({{"kind", "assignment"}, {"items", items}});
  }
  if (random.Chance(30)) {
    Document windows = Document::array();
    for (int i = depots; i < n; ++i) {
      if (!random.Chance(50)) continue;
      const int open = random.Between(0, 15);
      windows.push_back({{"node", i}, {"start", open}, {"end", open + random.Between(0, 25)}});
    }
    features.windows = !windows.empty();
    if (features.windows) {
      doc["constraints"].push_back({{"kind", "timewindow"}, {"items", windows}});
    }
  }
  if (doc["constraints"].empty()) doc.erase("constraints");
  doc["options"] = {{"objective", features.min_max ? "min_max" : "min_sum"},
                    {"time_limit", 10},
                    {"return_to_end", !features.open}};
  return out;
}

bool Scalar(const Document& value) { return !value.is_structured(); }

// Printed on one line: a number or text, a matrix row, a list of types, or an
// object of those (a node, an agent, a constraint item, the options).
bool Inline(const Document& value) {
  if (Scalar(value)) return true;
  if (value.is_array()) return std::all_of(value.begin(), value.end(), Scalar);
  return std::all_of(value.begin(), value.end(), [](const Document& element) {
    return Scalar(element) ||
           (element.is_array() && std::all_of(element.begin(), element.end(), Scalar));
  });
}

void PrintDocument(const Document& value, std::ostream& out, int indent = 0) {
  if (Inline(value)) {
    out << value.dump();
    return;
  }
  const std::string pad(static_cast<size_t>(indent + 2), ' ');
  const bool object = value.is_object();
  out << (object ? "{" : "[") << "\n";
  size_t i = 0;
  for (auto it = value.begin(); it != value.end(); ++it, ++i) {
    out << pad;
    if (object) out << Document(it.key()).dump() << ": ";
    PrintDocument(it.value(), out, indent + 2);
    out << (i + 1 < value.size() ? ",\n" : "\n");
  }
  out << std::string(static_cast<size_t>(indent), ' ') << (object ? "}" : "]");
}

// The solver writes diagnostics to both streams; a report has no room for them.
class Silence {
 public:
  Silence() : out_(std::cout.rdbuf(nullptr)), err_(std::cerr.rdbuf(nullptr)) {}
  ~Silence() {
    std::cout.clear();
    std::cerr.clear();
    std::cout.rdbuf(out_);
    std::cerr.rdbuf(err_);
  }
  Silence(const Silence&) = delete;
  Silence& operator=(const Silence&) = delete;

 private:
  std::streambuf* out_;
  std::streambuf* err_;
};

std::string Text(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

std::string Routes(const quarn::Result& result) {
  std::ostringstream out;
  for (int32_t a = 0; a < static_cast<int32_t>(result.paths.size()); ++a) {
    auto path = result.paths.find(a);
    auto cost = result.times.find(a);
    out << " [";
    if (path != result.paths.end()) {
      for (size_t p = 0; p < path->second.size(); ++p) out << (p > 0 ? " " : "") << path->second[p];
    }
    out << " | " << (cost != result.times.end() ? Text(cost->second) : "-") << "]";
  }
  return out.str();
}

// With pairs the routes' clocks depend on each other: every cost as the checker
// expects it.
void Price(const quarn::Problem& problem, const quarn::Options& options, quarn::Result& candidate) {
  std::vector<std::vector<int32_t>> routes;
  for (int32_t a = 0; a < static_cast<int32_t>(candidate.paths.size()); ++a) routes.push_back(candidate.paths[a]);
  const std::vector<double> costs = quarn::test::ExpectedCosts(problem, options, routes);
  for (int32_t a = 0; a < static_cast<int32_t>(costs.size()); ++a) candidate.times[a] = costs[static_cast<size_t>(a)];
}

// Every candidate solution (each target to one agent, in every order, each route
// ending at each node it may end at) judged by the solution checker; the best
// accepted objective, or nothing. Returns false when there are more than `limit`.
bool Enumerate(const quarn::Problem& problem, const quarn::Options& options, uint64_t limit,
               std::optional<double>& best) {
  const RouteRules rules(problem, options);
  const std::vector<int32_t>& targets = rules.Targets();
  const int agents = rules.NumAgents();
  // Orders of the targets, times the ways to cut an order among the agents, times endings.
  uint64_t count = 1;
  for (size_t i = 1; i <= targets.size(); ++i) count *= i;
  for (size_t k = 1; k < static_cast<size_t>(agents); ++k) count = count * (targets.size() + k) / k;
  for (int a = 0; a < agents && !options.return_to_end; ++a) {
    if (rules.Start(a) != rules.End(a)) count *= 2;
  }
  if (agents == 0 || count > limit) return false;
  std::vector<bool> used(targets.size(), false);
  quarn::Result candidate;
  std::function<void(int, std::vector<int32_t>&, size_t)> extend =
      [&](int a, std::vector<int32_t>& route, size_t left) {
        // Close agent a's route here, with each ending it may have; the last agent
        // only once every target is placed.
        std::vector<int32_t> stops = {rules.End(a)};
        if (!options.return_to_end && rules.Start(a) != rules.End(a)) {
          stops.push_back(rules.Start(a));
        }
        for (int32_t stop : stops) {
          if (a + 1 == agents && left != 0) break;
          std::vector<int32_t> whole = route;
          if (whole.size() > 1 || stop != rules.Start(a)) whole.push_back(stop);
          candidate.paths[a] = whole;
          candidate.times[a] = rules.Clock(a, whole);
          if (a + 1 < agents) {
            std::vector<int32_t> next = {rules.Start(a + 1)};
            extend(a + 1, next, left);
          } else {
            if (options.enforce_sequence) Price(problem, options, candidate);
            if (quarn::test::Violations(problem, options, candidate).empty()) {
              const double value = quarn::test::ObjectiveOf(candidate, options);
              if (!best || value < *best) best = value;
            }
          }
        }
        // Or go on to another target.
        for (size_t j = 0; j < targets.size(); ++j) {
          if (used[j]) continue;
          used[j] = true;
          route.push_back(targets[j]);
          extend(a, route, left - 1);
          route.pop_back();
          used[j] = false;
        }
      };
  std::vector<int32_t> first = {rules.Start(0)};
  extend(0, first, targets.size());
  return true;
}

const char* const kClassFiles[] = {"failed", "rejected", "above", "below", "infeasible-accepted",
                                   "threw", "witness-rejected", "cross-check"};

enum Class { kFailed, kRejected, kAbove, kBelow, kInfeasibleAccepted, kThrew, kWitnessRejected,
             kCrossCheck, kNumClasses };
const char* const kClassNames[] = {
    "feasible but ZEL failed", "ZEL answer rejected by the checker", "ZEL above the optimum",
    "ZEL below the optimum (a fault of this program or the checker)",
    "infeasible here, yet ZEL's answer passes the checker (a fault of this program)",
    "ZEL threw", "optimal witness rejected by the checker (a fault of this program)",
    "enumeration disagrees with the dynamic programme (a fault of this program)"};

// The smallest instance of a group, and how many the group has.
struct Smallest {
  uint64_t count = 0;
  std::tuple<int, int, uint64_t> key{1 << 30, 0, 0};
  Document doc;
  std::string note;
};

struct Tally {
  uint64_t instances = 0;
  uint64_t feasible = 0;
  uint64_t solved = 0;
  uint64_t budget_stops = 0;
  uint64_t failed_at_budget = 0;
  uint64_t cross_checked = 0;
  int start_windows = 0;  // percent of instances with windows on start depots
  int capacities = 0;     // percent of instances with capacities enforced
  int service = 0;        // percent of instances with service times
  int penalties = 0;      // percent of instances with penalties
  int pairs = 0;          // percent of instances with target pairs
  uint64_t pairs_left_out = 0;  // too many candidates to enumerate
  uint64_t at_limit = 0;
  uint64_t counts[kNumClasses] = {};
  // Instances with each feature: all, feasible, and in each class.
  std::map<std::string, uint64_t> with_feature;
  std::map<std::string, uint64_t> feasible_with_feature;
  std::map<std::string, uint64_t> class_with_feature[kNumClasses];
  std::map<std::string, Smallest> smallest[kNumClasses];  // by group
  std::string dump_dir;  // empty: no dump
};

void CountFeatures(const Features& features, std::map<std::string, uint64_t>& counts) {
  for (const auto& [name, flag] : kFeatureNames) {
    if (features.*flag) ++counts[name];
  }
}

void Record(Tally& tally, Class which, const Generated& made, uint64_t seed,
            const std::string& note) {
  ++tally.counts[which];
  if (!tally.dump_dir.empty()) {
    Document doc = made.doc;
    doc["note"] = note;
    std::ofstream file(tally.dump_dir + "/" + kClassFiles[which] + "-seed" +
                       std::to_string(seed) + ".json");
    PrintDocument(doc, file);
    file << "\n";
    if (!file) throw std::runtime_error("cannot write to " + tally.dump_dir);
  }
  CountFeatures(made.features, tally.class_with_feature[which]);
  Smallest& best = tally.smallest[which][GroupOf(made.features)];
  ++best.count;
  const auto key = std::make_tuple(made.nodes, made.agents, seed);
  if (key < best.key) {
    best.key = key;
    best.doc = made.doc;
    best.note = note;
  }
}

// How each instance is made and solved: the improvement phase (off leaves the
// search alone), its time limit, and the share of instances with negative arcs.
struct RunSettings {
  bool on = false;
  uint64_t iterations = 0;
  uint64_t stall = 0;
  double limit = 1e9;
  int negative = 10;
};

void RunOne(uint64_t seed, uint64_t budget, uint64_t cross_check, const RunSettings& improve,
            Tally& tally) {
  Generated made = MakeInstance(seed, improve.negative);
  AddStartWindows(seed, tally.start_windows, made);
  AddCapacities(seed, tally.capacities, made);
  AddServices(seed, tally.service, made);
  AddPenalties(seed, tally.penalties, made);
  if (!made.features.penalties) AddPairs(seed, tally.pairs, made);
  quarn::Problem problem;
  quarn::load_problem_from_json(nlohmann::json::parse(made.doc.dump()), problem);
  quarn::Options options = problem.options();
  options.time_limit = improve.limit;  // only the budgets may stop a search
  options.improve = improve.on;
  options.max_iterations = improve.iterations;
  options.improve_stall = improve.stall;
  ExactAnswer exact;
  if (made.features.pairs) {
    std::optional<double> enumerated;
    if (!Enumerate(problem, options, cross_check, enumerated)) {
      ++tally.pairs_left_out;
      return;
    }
    exact.feasible = enumerated.has_value();
    exact.objective = enumerated.value_or(0.0);
  }
  ++tally.instances;
  CountFeatures(made.features, tally.with_feature);

  if (!made.features.pairs) exact = quarn::test::SolveExactly(problem, options);
  const std::string optimum =
      exact.feasible ? "optimum " + Text(exact.objective) + ", routes" + Routes(exact.witness)
                     : "infeasible";
  if (!made.features.pairs && exact.feasible && !quarn::test::Violations(problem, options, exact.witness).empty()) {
    Record(tally, kWitnessRejected, made, seed,
           optimum + "; " + quarn::test::Violations(problem, options, exact.witness));
  }
  std::optional<double> enumerated;
  // The enumeration places every target; it knows nothing of left-out ones.
  if (cross_check > 0 && !made.features.penalties && !made.features.pairs && Enumerate(problem, options, cross_check, enumerated)) {
    ++tally.cross_checked;
    const bool agree = enumerated.has_value() == exact.feasible &&
                       (!exact.feasible || std::abs(*enumerated - exact.objective) <= kTolerance);
    if (!agree) {
      Record(tally, kCrossCheck, made, seed,
             optimum + ", enumeration: " + (enumerated ? Text(*enumerated) : "infeasible"));
    }
  }
  if (exact.feasible) {
    ++tally.feasible;
    CountFeatures(made.features, tally.feasible_with_feature);
  }

  int32_t status = 0;
  quarn::Result result;
  try {
    Silence quiet;
    quarn::Solver solver(problem, options);
    solver.SetExpansionBudget(budget);
    const auto begin = std::chrono::steady_clock::now();
    status = solver.solve();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
    if (improve.limit < 1e9 && took.count() >= improve.limit) {
      ++tally.at_limit;
      std::cerr << "seed " << seed << " ran to the time limit\n";
    }
    result = solver.get_result();
  } catch (const std::exception& error) {
    Record(tally, kThrew, made, seed, optimum + "; ZEL threw: " + error.what());
    return;
  }
  if (result.timeout) ++tally.budget_stops;
  const bool solved = status == 1 && !result.paths.empty();
  if (solved) ++tally.solved;
  if (!solved) {
    if (exact.feasible) {
      Record(tally, kFailed, made, seed,
             optimum + "; ZEL found nothing" + (result.timeout ? " within the budget" : ""));
      if (result.timeout) ++tally.failed_at_budget;
    }
    return;
  }
  const std::string violations = quarn::test::Violations(problem, options, result);
  if (!violations.empty()) {
    Record(tally, kRejected, made, seed,
           optimum + "; ZEL found" + Routes(result) + "; the checker says: " + violations);
    return;
  }
  const double found = quarn::test::ObjectiveOf(result, options);
  const std::string zel = "ZEL found " + Text(found) + ", routes" + Routes(result);
  if (!exact.feasible) {
    Record(tally, kInfeasibleAccepted, made, seed, zel);
  } else if (found > exact.objective + kTolerance) {
    Record(tally, kAbove, made, seed, optimum + "; " + zel);
  } else if (found < exact.objective - kTolerance) {
    Record(tally, kBelow, made, seed, optimum + "; " + zel);
  }
}

void Report(const Tally& tally, uint64_t first_seed, uint64_t budget, const RunSettings& improve) {
  std::cout << "zel_bruteforce: " << tally.instances << " instances from seed " << first_seed
            << ", expansion budget " << budget << "\n";
  if (improve.on) {
    std::cout << "improvement phase: iteration budget " << improve.iterations << ", stall "
              << improve.stall << "; solves that reached the time limit " << tally.at_limit
              << "\n";
  }
  std::cout << "feasible                            " << tally.feasible << "\n";
  std::cout << "ZEL solved                          " << tally.solved << "\n";
  std::cout << "searches stopped by the budget      " << tally.budget_stops << "\n";
  std::cout << "feasible but ZEL failed             " << tally.counts[kFailed] << " ("
            << tally.failed_at_budget << " of them at the budget)\n";
  std::cout << "ZEL answer rejected by the checker  " << tally.counts[kRejected] << "\n";
  std::cout << "ZEL above the optimum               " << tally.counts[kAbove] << " ("
            << std::fixed << std::setprecision(2)
            << (tally.solved > 0 ? 100.0 * static_cast<double>(tally.counts[kAbove]) /
                                       static_cast<double>(tally.solved)
                                 : 0.0)
            << " % of the solved)\n" << std::defaultfloat;
  std::cout << "ZEL threw                           " << tally.counts[kThrew] << "\n";
  std::cout << "by feature (instances that have it):\n"
            << "  feature               instances  feasible  failed  rejected  above  threw\n";
  auto count = [](const std::map<std::string, uint64_t>& counts, const std::string& name) {
    auto it = counts.find(name);
    return it == counts.end() ? uint64_t{0} : it->second;
  };
  for (const auto& entry : kFeatureNames) {
    const std::string& name = entry.first;
    std::cout << "  " << std::left << std::setw(21) << name << std::right << std::setw(10)
              << count(tally.with_feature, name) << std::setw(10)
              << count(tally.feasible_with_feature, name)
              << std::setw(8) << count(tally.class_with_feature[kFailed], name) << std::setw(10)
              << count(tally.class_with_feature[kRejected], name) << std::setw(7)
              << count(tally.class_with_feature[kAbove], name) << std::setw(7)
              << count(tally.class_with_feature[kThrew], name) << "\n";
  }
  std::cout << "self-checks: witnesses rejected " << tally.counts[kWitnessRejected]
            << ", enumeration disagreements " << tally.counts[kCrossCheck] << " (of "
            << tally.cross_checked << " instances enumerated), ZEL below the optimum "
            << tally.counts[kBelow] << ", infeasible yet accepted "
            << tally.counts[kInfeasibleAccepted]
            << "\n";
  if (tally.pairs > 0) {
    std::cout << "instances with pairs left out (more candidates than --cross-check): " << tally.pairs_left_out
              << "\n";
  }
  for (int which = 0; which < kNumClasses; ++which) {
    if (tally.counts[which] == 0) continue;
    std::cout << "\n" << kClassNames[which] << ", by group:\n";
    for (const auto& [group, smallest] : tally.smallest[which]) {
      std::cout << "  " << std::setw(5) << smallest.count << "  " << group << "\n";
    }
    for (const auto& [group, smallest] : tally.smallest[which]) {
      std::cout << "\n== smallest instance, " << kClassNames[which] << ", " << group << ": seed "
                << std::get<2>(smallest.key) << ", " << std::get<0>(smallest.key) << " nodes, "
                << std::get<1>(smallest.key) << " agents; " << smallest.note;
      if (smallest.note.empty() || smallest.note.back() != '\n') std::cout << "\n";
      PrintDocument(smallest.doc, std::cout);
      std::cout << "\n";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t count = 5000;
  uint64_t first_seed = 1;
  uint64_t budget = 200000;
  uint64_t cross_check = 20000;
  RunSettings improve;
  Tally tally;
  try {
    for (int i = 1; i < argc; i += 2) {
      const std::string arg = argv[i];
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      if (arg == "--dump") {
        tally.dump_dir = argv[i + 1];
        continue;
      }
      const uint64_t value = std::stoull(argv[i + 1]);
      if (arg == "--count") {
        count = value;
      } else if (arg == "--seed") {
        first_seed = value;
      } else if (arg == "--budget") {
        budget = value;
      } else if (arg == "--cross-check") {
        cross_check = value;
      } else if (arg == "--start-windows") {
        tally.start_windows = static_cast<int>(std::min<uint64_t>(value, 100));
      } else if (arg == "--capacities") {
        tally.capacities = static_cast<int>(std::min<uint64_t>(value, 100));
      } else if (arg == "--penalties") {
        tally.penalties = static_cast<int>(std::min<uint64_t>(value, 100));
      } else if (arg == "--pairs") {
        tally.pairs = static_cast<int>(std::min<uint64_t>(value, 100));
      } else if (arg == "--service") {
        tally.service = static_cast<int>(std::min<uint64_t>(value, 100));
      } else if (arg == "--improve") {
        improve.on = true;
        improve.iterations = value;
      } else if (arg == "--stall") {
        improve.stall = value;
      } else if (arg == "--negative") {
        improve.negative = static_cast<int>(std::min<uint64_t>(value, 100));
      } else if (arg == "--limit") {
        improve.limit = static_cast<double>(value);
      } else {
        throw std::invalid_argument("unknown argument " + arg);
      }
    }
    for (uint64_t seed = first_seed; seed < first_seed + count; ++seed) {
      RunOne(seed, budget, cross_check, improve, tally);
    }
    Report(tally, first_seed, budget, improve);
  } catch (const std::exception& error) {
    std::cerr << "zel_bruteforce: " << error.what() << std::endl;
    return 1;
  }
  return 0;
}
