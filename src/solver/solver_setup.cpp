#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iomanip>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "graph/arc_cost.h"
#include "graph/complete_graph.h"
#include "model/checked_at.h"
#include "model/missing_cost.h"
#include "model/numeric_cast.h"
#include "plugins/capacity_constraint_checker.h"
#include "plugins/composite_constraint_checker.h"
#include "plugins/composite_post_optimizer.h"
#include "plugins/default_constraint_checker.h"
#include "plugins/default_expansion.h"
#include "plugins/default_focal_comparator.h"
#include "plugins/default_heuristic.h"
#include "plugins/default_objective.h"
#include "plugins/min_sum_objective.h"
#include "plugins/time_limit_constraint_checker.h"
#include "plugins/time_window_constraint_checker.h"
#include "postopt/default_post_optimizer.h"
#include "postopt/route_merging_post_optimizer.h"
#include "solver/solver.h"

namespace quarn {
namespace {

// Every checker the solver hands data to: a composite's children, or the checker itself.
std::vector<ConstraintCheckerPlugin*> CheckersOf(ConstraintCheckerPlugin* checker) {
  if (auto* composite = ExactPlugin<CompositeConstraintChecker>(checker)) {
    std::vector<ConstraintCheckerPlugin*> children;
    for (const auto& child : composite->children()) children.push_back(child.get());
    return children;
  }
  return {checker};
}

bool InGraph(int32_t node, const PlannerGraph& graph) {
  return node >= 0 && static_cast<uint64_t>(node) < graph.NumVertex();
}

}  // namespace

Solver::Solver(Problem problem, const Options& options)
    : focal_comparator_(std::make_unique<DefaultFocalComparator>()),
      heuristic_(std::make_unique<DefaultHeuristic>()),
      post_optimizer_(std::make_unique<DefaultPostOptimizer>()),
      constraint_checker_(std::make_unique<DefaultConstraintChecker>()),
      expansion_(std::make_unique<DefaultExpansion>()),
      objective_(std::make_unique<DefaultObjective>()),
      focal_(FocalOrder(focal_comparator_.get())),
      clock_origin_(std::chrono::steady_clock::now()) {
  diagnostics_ = Diagnostics(options.quiet);
  constexpr uint64_t kMiB = uint64_t{1} << 20;
  const uint64_t largest_mib = std::numeric_limits<uint64_t>::max() / kMiB;
  const uint64_t memory_limit = options.memory_limit > 0
                                    ? std::min(options.memory_limit, largest_mib) * kMiB
                                    : AutomaticMemoryLimit();
  stop_.SetMemoryBound([this] { return MemoryInUse(); }, memory_limit);
  // Refused before anything is built, so an oversized instance costs no time or
  // memory; with "improve" the phase takes it without the search.
  if (!options.improve) VisitedSet::CheckCapacity(problem.nodes().size());
  // The search orders its labels by duration; only the phase can weigh distance.
  by_distance_ = options.minimise == Minimise::Distance && options.objective == ObjectiveType::MinSum;
  if (by_distance_ && !options.improve) {
    throw std::invalid_argument(
        "the option \"minimise\": \"distance\" is honoured by the improvement phase: set "
        "\"improve\": true");
  }
  if (!options.improve && StatesPenalties(problem, options)) {
    throw std::invalid_argument("penalties are honoured by the improvement phase: set \"improve\": true");
  }
  if (options.threads < 1) throw std::invalid_argument("the option \"threads\" must be at least 1");
  // NaN would compare false both ways and so make every arc exist.
  missing_cost_ = std::isnan(options.missing_cost) ? kMissingCost : options.missing_cost;
  type_index_ = problem.type_index_by_name();
  num_types_ = static_cast<int32_t>(type_index_.size());
  BuildNodeTable(problem);
  BuildAgentTable(problem);
  BuildSequence(problem, options);
  AssignAllowedTypes(problem);
  BuildLeftOutPenalties(problem, options);
  BuildTimeWindows(problem);
  coordinates_only_ = CoordinatesOnly(problem, options);
  BuildCoordinateCosts(problem);
  if (!coordinates_only_) BuildGraph(problem);
  BuildDistances(problem);
  ChoosePlugins(options);
  graph_ = owned_graph_.get();
  time_limit_ = options.time_limit;
  return_to_end_ = options.return_to_end;
  improve_ = options.improve;
  improve_seed_ = options.seed;
  improve_iterations_ = options.max_iterations;
  improve_stall_ = options.improve_stall;
  improve_threads_ = options.threads;
  enforce_capacities_ = options.enforce_capacities;
  stop_.SetExpansionBudget(options.max_expansions);
  Prepare();
}

void Solver::BuildNodeTable(const Problem& problem) {
  points_.clear();
  node_index_.clear();
  services_.clear();
  points_.reserve(problem.nodes().size());
  for (const Node& node : problem.nodes()) {
    node_index_[node.id] = points_.size();
    Point point;
    point.x = SaturatingToInt32(node.position.x);
    point.y = SaturatingToInt32(node.position.y);
    point.z = SaturatingToInt32(node.position.z);
    point.id = static_cast<uint32_t>(node.id);
    point.demand = node.demand;
    points_.push_back(std::move(point));
    if (node.type == NodeType::TARGET && node.service != 0.0) {
      services_.resize(problem.nodes().size(), 0.0);
      services_[points_.size() - 1] = node.service;
    }
  }
}

void Solver::BuildAgentTable(const Problem& problem) {
  agents_.clear();
  starts_.clear();
  ends_.clear();
  agents_.reserve(problem.agents_ordered().size());
  for (const Agent& agent : problem.agents_ordered()) {
    // By type name, so an agent filed under an id other than its own keeps its type.
    auto type = type_index_.find(agent.type);
    AgentEntry entry;
    entry.id = static_cast<uint32_t>(agent.id);
    entry.type = type == type_index_.end() ? -1 : type->second;
    entry.capacity_limit = agent.capacity_limit;
    entry.time_limit = agent.time_limit;
    agents_.push_back(entry);
    const auto unknown = [&agent](const char* key, uint64_t id) {
      return [&agent, key, id] {
        return "agent " + std::to_string(agent.id) + " has " + key + " " + std::to_string(id) +
               ", which is no node id";
      };
    };
    starts_.push_back(static_cast<int32_t>(
        CheckedAt(node_index_, agent.start_node, unknown("start_node", agent.start_node))));
    ends_.push_back(static_cast<int32_t>(
        CheckedAt(node_index_, agent.end_node, unknown("end_node", agent.end_node))));
  }
  num_agents_ = agents_.size();
}

void Solver::AssignAllowedTypes(const Problem& problem) {
  // The full 64-bit id, as the assignment table is keyed by it.
  for (size_t i = 0; i < points_.size(); ++i) {
    points_[i].types = problem.allowed_types(problem.nodes()[i].id, diagnostics_);
  }
}

void Solver::BuildTimeWindows(const Problem& problem) {
  time_windows_.clear();
  for (const auto& [node_id, window] : problem.time_windows().windows_by_node) {
    auto index = node_index_.find(node_id);
    if (index == node_index_.end()) {
      diagnostics_.Err("[warning] time window node id ", node_id, " not found in nodes");
      continue;
    }
    time_windows_[static_cast<int32_t>(index->second)] = window;
  }
}

void Solver::BuildGraph(const Problem& problem) {
  // Type lookups first: a matrix for a type no agent has leaves no half-built graph.
  std::vector<std::pair<int32_t, const CostMatrix*>> matrices;
  for (const auto& entry : problem.cost_matrices()) {
    const std::string& type_name = entry.first;  // a lambda cannot capture a structured binding in C++17
    const auto& matrix = entry.second;
    matrices.emplace_back(CheckedAt(type_index_, type_name,
                                    [&type_name] {
                                      return "a cost matrix is given for type \"" + type_name +
                                             "\", which no agent has";
                                    }),
                          &matrix);
  }
  // The complete graph straight into one flat table: no cost vector per arc.
  const auto n = static_cast<int32_t>(problem.nodes().size());
  // Entries no matrix gives cost the threshold itself: missing under any threshold,
  // finite for the cost sums, and 9999 as before under the default.
  DenseCostTable costs(n, num_types_, missing_cost_);
  uint64_t at_threshold = 0;
  for (const auto& [type, matrix] : matrices) {
    // Entries beyond the node table are ignored; NaN would break the lists' order.
    const auto rows = static_cast<int32_t>(std::min<size_t>(matrix->size(), static_cast<size_t>(n)));
    for (int32_t i = 0; i < rows; ++i) {
      const std::vector<double>& row = (*matrix)[static_cast<size_t>(i)];
      const auto columns = static_cast<int32_t>(std::min<size_t>(row.size(), static_cast<size_t>(n)));
      for (int32_t j = 0; j < columns; ++j) {
        const double value = row[static_cast<size_t>(j)];
        if (i == j) continue;
        if (value >= missing_cost_) ++at_threshold;
        costs.Set(i, j, type, std::isnan(value) ? missing_cost_ : value);
      }
    }
  }
  // A rule's costs as the matrix it implies would give them.
  for (int32_t type = 0; type < num_types_; ++type) {
    if (!coordinates_.HasRule(type)) continue;
    for (int32_t i = 0; i < n; ++i) {
      for (int32_t j = 0; j < n; ++j) {
        if (i == j) continue;
        const double value = coordinates_.Cost(i, j, type);
        if (value >= missing_cost_) ++at_threshold;
        costs.Set(i, j, type, value);
      }
    }
  }
  if (at_threshold > 0) {
    std::ostringstream threshold;  // 1000000, not the stream default's 1e+06
    threshold << std::setprecision(15) << missing_cost_;
    diagnostics_.Err("[warning] ", at_threshold, " cost entries are at or above missing_cost (",
                     threshold.str(), "): they count as no arc; raise \"missing_cost\" if they are ",
                     "real costs");
  }
  owned_graph_ = std::make_unique<CompleteGraph>(std::move(costs), num_types_);
}

// Distances where a matrix gives them, the type's arc costs where none does.
void Solver::BuildDistances(const Problem& problem) {
  distances_.reset();
  if (problem.distance_matrices().empty()) return;
  const auto n = static_cast<int32_t>(problem.nodes().size());
  auto table = std::make_unique<DenseCostTable>(n, num_types_, missing_cost_);
  std::vector<const CostMatrix*> by_type(static_cast<size_t>(num_types_), nullptr);
  for (const auto& entry : problem.distance_matrices()) {
    const std::string& type_name = entry.first;
    by_type[static_cast<size_t>(CheckedAt(type_index_, type_name, [&type_name] {
      return "a distance matrix is given for type \"" + type_name + "\", which no agent has";
    }))] = &entry.second;
  }
  const DenseCostTable& costs = owned_graph_->costs();
  for (int32_t type = 0; type < num_types_; ++type) {
    const CostMatrix* matrix = by_type[static_cast<size_t>(type)];
    for (int32_t i = 0; i < n; ++i) {
      for (int32_t j = 0; j < n; ++j) {
        if (i == j) continue;
        double value = costs.Arc(i, j, type).value_or(missing_cost_);
        if (matrix != nullptr) {
          const auto row = static_cast<size_t>(i);
          const auto column = static_cast<size_t>(j);
          value = row < matrix->size() && column < (*matrix)[row].size() ? (*matrix)[row][column] : 0.0;
        }
        table->Set(i, j, type, value);
      }
    }
  }
  distances_ = std::move(table);
}

std::optional<double> Solver::ArcCost(int32_t u, int32_t v, int32_t type) const {
  if (owned_graph_ != nullptr && graph_ == owned_graph_.get()) {
    return owned_graph_->costs().Arc(u, v, type);
  }
  return ArcComponent(*graph_, u, v, type);
}

void Solver::ChoosePlugins(const Options& options) {
  if (options.objective == ObjectiveType::MinSum) {
    objective_ = std::make_unique<MinSumObjective>();
  } else {
    objective_ = std::make_unique<DefaultObjective>();
  }

  bool has_windows = !time_windows_.empty();
  bool has_limits = false;
  for (const AgentEntry& agent : agents_) has_limits = has_limits || agent.time_limit > 0.0;
  const bool has_capacities = options.enforce_capacities;
  if (has_windows || has_limits || has_capacities) {
    auto composite = std::make_unique<CompositeConstraintChecker>();
    composite->AddChild(std::make_unique<DefaultConstraintChecker>());
    if (has_windows) composite->AddChild(std::make_unique<TimeWindowConstraintChecker>());
    if (has_limits) composite->AddChild(std::make_unique<TimeLimitConstraintChecker>());
    if (has_capacities) composite->AddChild(std::make_unique<CapacityConstraintChecker>());
    constraint_checker_ = std::move(composite);
  }

  auto post = std::make_unique<CompositePostOptimizer>();
  post->AddChild(std::make_unique<DefaultPostOptimizer>());
  post->AddChild(std::make_unique<RouteMergingPostOptimizer>());
  post_optimizer_ = std::move(post);
}

int32_t Solver::Prepare() {
  CompileRules();
  // The phase reads the rules alone; the search's tables would cost the square
  // of the instance in memory and more in time.
  if (BeyondSearch()) return 1;
  ComputeTimeWindowMst();
  CheckReachability();

  heuristic_->Init(graph_, points_, agents_);
  if (auto* heuristic = ExactPlugin<DefaultHeuristic>(heuristic_.get())) {
    heuristic->SetEnds(ends_);
    heuristic->SetMissingCost(missing_cost_);
    heuristic->SetEdges(mst_edges_);
    // On open routes the move onto a depot ends a route and is free.
    std::vector<int32_t> free_stops;
    if (!return_to_end_) {
      free_stops = starts_;
      free_stops.insert(free_stops.end(), ends_.begin(), ends_.end());
    }
    heuristic->SetFreeStops(free_stops);
  }

  constraint_checker_->Init(graph_, points_, agents_);
  HandOverToCheckers();

  expansion_->SetEnds(ends_);
  objective_->SetEnds(ends_);

  post_optimizer_->SetReturnToEnd(return_to_end_);
  post_optimizer_->SetStarts(starts_);
  post_optimizer_->SetEnds(ends_);
  post_optimizer_->SetTimeWindows(time_windows_);
  post_optimizer_->SetRouteRules(&rules_);
  post_optimizer_->SetStopCheck(&stop_);
  post_optimizer_->SetDiagnostics(diagnostics_);
  return 1;
}

// The route rules every part judges routes by, from the tables as they stand now.
void Solver::CompileRules() {
  rules_.SetPoints(points_);
  rules_.SetAgents(agents_);
  rules_.SetStarts(starts_);
  rules_.SetEnds(ends_);
  rules_.SetTimeWindows(time_windows_);
  rules_.SetReturnToEnd(return_to_end_);
  rules_.SetMissingCost(missing_cost_);
  rules_.SetEnforceCapacities(enforce_capacities_);
  search_loads_ = false;
  for (size_t a = 0; a < agents_.size() && enforce_capacities_; ++a) {
    search_loads_ = search_loads_ || rules_.Capacity(static_cast<int32_t>(a)) > 0.0;
  }
  for (size_t v = 0; v < points_.size(); ++v) {
    const double demand = rules_.Demand(static_cast<int32_t>(v));
    // A load could then fall by serving more, and no load would bound the rest.
    if (demand < 0.0 || std::isnan(demand)) {
      throw std::invalid_argument("node " + std::to_string(points_[v].id) + " has demand " +
                                  std::to_string(demand) +
                                  ": with capacities enforced a demand must be 0 or more");
    }
  }
  rules_.DropCosts();
  if (owned_graph_ != nullptr && graph_ == owned_graph_.get()) {
    rules_.SetCostTable(&owned_graph_->costs());
  } else if (graph_ != nullptr) {
    // A caller's graph hands out cost vectors by value: read once per set-up.
    rules_.TakeCostTable(DenseCostTable(*graph_));
  } else if (coordinates_only_) {
    rules_.SetCoordinateCosts(&coordinates_);
  }
  rules_.SetServices(services_);
  rules_.SetDistanceTable(distances_.get());
  rules_.SetSequence(sequence_);
}

void Solver::HandOverToCheckers() {
  const std::vector<ConstraintCheckerPlugin*> checkers = CheckersOf(constraint_checker_.get());
  for (ConstraintCheckerPlugin* checker : checkers) {
    if (auto* plain = ExactPlugin<DefaultConstraintChecker>(checker)) plain->SetEnds(ends_);
    if (auto* windows = ExactPlugin<TimeWindowConstraintChecker>(checker)) windows->SetEnds(ends_);
    if (auto* limits = ExactPlugin<TimeLimitConstraintChecker>(checker)) limits->SetEnds(ends_);
    if (auto* capacities = ExactPlugin<CapacityConstraintChecker>(checker)) {
      capacities->SetEnds(ends_);
      capacities->SetRouteRules(&rules_);
    }
  }
  for (ConstraintCheckerPlugin* checker : checkers) {
    if (auto* windows = ExactPlugin<TimeWindowConstraintChecker>(checker)) {
      windows->SetTimeWindows(time_windows_);
    }
  }
  for (ConstraintCheckerPlugin* checker : checkers) {
    if (auto* windows = ExactPlugin<TimeWindowConstraintChecker>(checker)) {
      windows->SetStarts(starts_);
    }
  }
  for (ConstraintCheckerPlugin* checker : checkers) {
    if (auto* windows = ExactPlugin<TimeWindowConstraintChecker>(checker)) {
      windows->SetReturnToEnd(return_to_end_);
    }
  }
  for (ConstraintCheckerPlugin* checker : checkers) {
    if (auto* windows = ExactPlugin<TimeWindowConstraintChecker>(checker)) {
      windows->SetRouteRules(&rules_);
    }
  }
}

void Solver::SetPoints(const std::vector<Point>& points) {
  points_ = points;
  for (const Point& point : points_) {
    bool type0_only = point.types == std::vector<int32_t>{0};
    bool types01 = point.types == std::vector<int32_t>{0, 1};
    if (!type0_only && !types01) {
      const std::string message = "Wrong Point type";
      diagnostics_.Err(message);
      throw std::runtime_error(message);
    }
  }
}

void Solver::SetAgents(const std::vector<AgentEntry>& agents) { agents_ = agents; }

void Solver::SetGraph(const PlannerGraph* graph) { graph_ = graph; }

void Solver::ValidateDirectInput(const PlannerGraph* graph, const std::vector<Point>& points,
                                 const std::vector<AgentEntry>& agents,
                                 const std::vector<int32_t>& starts,
                                 const std::vector<int32_t>& ends) const {
  if (graph == nullptr) throw std::runtime_error("SolveWith: no graph given");
  if (points.size() != graph->NumVertex()) {
    throw std::runtime_error("SolveWith: " + std::to_string(points.size()) +
                             " points for a graph of " + std::to_string(graph->NumVertex()) +
                             " vertices");
  }
  if (agents.size() < starts.size() || ends.size() < starts.size()) {
    throw std::runtime_error("SolveWith: " + std::to_string(starts.size()) + " starts but " +
                             std::to_string(agents.size()) + " agents and " +
                             std::to_string(ends.size()) + " ends");
  }
  for (size_t k = 0; k < starts.size(); ++k) {
    if (!InGraph(starts[k], *graph) || !InGraph(ends[k], *graph)) {
      throw std::runtime_error("SolveWith: start or end of agent " + std::to_string(k) +
                               " is not a vertex of the graph");
    }
  }
}

int32_t Solver::SolveWith(const PlannerGraph* graph, const std::vector<Point>& points,
                          const std::vector<AgentEntry>& agents,
                          const std::vector<int32_t>& starts, const std::vector<int32_t>& ends,
                          double time_limit, const std::string& name) {
  ValidateDirectInput(graph, points, agents, starts, ends);
  // Entries beyond the starts describe no agent of the search; the plug-ins size
  // their loops by these tables, so they must match the labels.
  const auto num_agents = static_cast<std::ptrdiff_t>(starts.size());
  name_ = name;
  SetGraph(graph);
  SetPoints(points);
  SetAgents(std::vector<AgentEntry>(agents.begin(), agents.begin() + num_agents));
  num_types_ = static_cast<int32_t>(graph->CostDim());
  starts_ = starts;
  num_agents_ = starts_.size();
  ends_.assign(ends.begin(), ends.begin() + num_agents);
  return_to_end_ = false;
  services_.clear();
  distances_.reset();
  Prepare();
  time_limit_ = time_limit;
  return solve();
}

}  // namespace quarn
