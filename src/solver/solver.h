#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "graph/complete_graph.h"
#include "graph/coordinate_costs.h"
#include "graph/dense_cost_table.h"
#include "graph/planner_graph.h"
#include "model/diagnostics.h"
#include "model/missing_cost.h"
#include "model/options.h"
#include "model/problem.h"
#include "plugins/constraint_checker_plugin.h"
#include "plugins/default_focal_comparator.h"
#include "plugins/default_heuristic.h"
#include "plugins/exact_plugin.h"
#include "plugins/expansion_plugin.h"
#include "plugins/focal_comparator_plugin.h"
#include "plugins/heuristic_plugin.h"
#include "plugins/objective_plugin.h"
#include "plugins/post_optimizer_plugin.h"
#include "records/agent_entry.h"
#include "records/blocking_section.h"
#include "records/improving_solutions.h"
#include "records/instance_stats.h"
#include "records/label.h"
#include "records/list_entries.h"
#include "records/mst_edge.h"
#include "records/operator_count.h"
#include "records/point.h"
#include "records/progress_report.h"
#include "records/result.h"
#include "records/stop_check.h"
#include "records/time_window_map.h"
#include "records/working_routes.h"
#include "rules/route_rules.h"
#include "solver/block_list.h"
#include "solver/frontier.h"
#include "solver/label_store.h"
#include "solver/open_list.h"
#include "solver/position_index.h"
#include "solver/simple_timer.h"

namespace quarn {

// Orders the focal list by the installed comparator plug-in; entries it cannot
// tell apart are one key, so only the first of them enters the list.
struct FocalOrder {
  explicit FocalOrder(const FocalComparatorPlugin* plugin = nullptr)
      : comparator(plugin), standard(ExactPlugin<DefaultFocalComparator>(plugin) != nullptr) {}
  bool operator()(const FocalEntry& a, const FocalEntry& b) const {
    // The standard order is asked directly: the list compares many times per label.
    return standard ? DefaultFocalComparator::Before(a, b) : comparator->Compare(a, b);
  }

  const FocalComparatorPlugin* comparator = nullptr;
  bool standard = false;  // the comparator is exactly DefaultFocalComparator
};

// Children usually enter at the front, where the next pop comes from: short blocks.
using FocalList = BlockList<FocalEntry, FocalOrder, 32>;
using AnytimeEntry = std::pair<double, Result>;

// Half of the machine's physical memory; the largest value when it cannot be read.
uint64_t HalfPhysicalMemory();
// The default bound of the search's memory: the least of half the physical memory
// and half of what the address-space and cgroup limits leave the process now.
uint64_t AutomaticMemoryLimit();

// The anytime, bounded-suboptimal focal search over the joint states of all agents.
// Setup lives in solver_setup.cpp, pre-computations in solver_precompute.cpp, list
// upkeep in solver_lists.cpp, the label pool in solver_labels.cpp, the search loop
// in solver_search.cpp and the read-out in solver_results.cpp.
class Solver {
 public:
  // Compiles the problem into the tables, builds the graph and the plug-ins, then
  // runs Prepare. Throws std::out_of_range for an agent depot or a cost-matrix type
  // that does not exist.
  Solver(Problem problem, const Options& options);
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  virtual ~Solver();
  // Replaces the node table; every type list must be [0] or [0, 1].
  virtual void SetPoints(const std::vector<Point>& points);
  virtual void SetAgents(const std::vector<AgentEntry>& agents);
  // The caller keeps the graph alive while the solver uses it.
  virtual void SetGraph(const PlannerGraph* graph);
  // Set-up from ready-made tables, then the search. Throws std::runtime_error for
  // input the search cannot index safely.
  virtual int32_t SolveWith(const PlannerGraph* graph, const std::vector<Point>& points,
                            const std::vector<AgentEntry>& agents,
                            const std::vector<int32_t>& starts, const std::vector<int32_t>& ends,
                            double time_limit, const std::string& name);
  virtual Result get_result();
  virtual InstanceStats GetBounds() const;
  virtual std::vector<AnytimeEntry> get_result_process() const;
  // 1 when a solution was found (the last one is in the result), 0 otherwise.
  virtual int32_t solve();
  virtual int32_t Prepare();
  virtual int32_t CheckReachability();
  virtual int32_t ComputeTimeWindowMst();
  virtual int32_t NewLabelId();
  virtual bool IsDominated(const Label& label);
  virtual void AddToFrontier(const Label& label);
  virtual void ExtractSolution(int32_t label_id);
  virtual bool IsGoal(const Label& label) const;
  virtual double SumCost(const Label& label) const;
  virtual void ResetCounter();
  virtual int32_t CountVisited(const Label& label) const;
  virtual void UpdateFocal(double old_bound, double new_bound);
  virtual void ComputeInstanceStats();
  virtual void PruneByIncumbent(double cost);

  // For benchmarks, in C++ only: what each descent operator of the last
  // improvement phase priced and applied, summed over its walks (empty without one).
  const std::vector<OperatorCount>& operator_counts() const { return operator_counts_; }

  // Controls for callers in C++ only; each ends the search the way the time
  // limit does (timeout set, the best solution so far kept).
  // Stops once this many labels have been expanded; 0 means no budget.
  void SetExpansionBudget(uint64_t max_expansions) { stop_.SetExpansionBudget(max_expansions); }
  // Called once per iteration before the pop; an exception it throws leaves
  // solve, and a later solve starts afresh.
  void SetInterruptCheck(std::function<void()> check) { stop_.SetInterrupt(std::move(check)); }
  // Stops once the estimated bytes held by the search exceed the bound; the
  // default is the option memory_limit, or else AutomaticMemoryLimit().
  void SetMemoryLimit(uint64_t bytes) { stop_.SetMemoryLimit(bytes); }
  // The running estimate the memory limit is tested against.
  uint64_t MemoryInUse() const;
  // Called from the solve's checks at most ten times a second by its clock; true
  // from it ends the solve as the time limit does. None by default, and then the
  // solve is exactly what it is without one.
  using ProgressCallback = std::function<bool(const ProgressReport&)>;
  void SetProgressCallback(ProgressCallback callback) { progress_ = std::move(callback); }
  // With "improve" the time limit runs on a monotonic wall clock from this moment:
  // by default the start of the constructor, so set-up counts; a caller that
  // read the instance first moves it back to the start of its reading.
  void SetClockOrigin(std::chrono::steady_clock::time_point origin) { clock_origin_ = origin; }
  // Wraps the calling thread's waits while the phase's walks run on threads of
  // their own (none by default); the progress callback and the interrupt check
  // are never called inside it.
  void SetBlockingSection(BlockingSection blocking) { blocking_ = std::move(blocking); }

 protected:
  // How one iteration of a pass ended.
  enum class Iteration { kContinue, kEndPass };

  // Setup (solver_setup.cpp).
  void BuildNodeTable(const Problem& problem);
  void BuildAgentTable(const Problem& problem);
  void AssignAllowedTypes(const Problem& problem);
  void BuildTimeWindows(const Problem& problem);
  void BuildGraph(const Problem& problem);
  void BuildDistances(const Problem& problem);
  // Costs from positions (solver_coordinates.cpp): the rules' types, and whether
  // they stand in for every table.
  bool CoordinatesOnly(const Problem& problem, const Options& options) const;
  void BuildCoordinateCosts(const Problem& problem);
  // The clock the time limit is read from (solver_coordinates.cpp).
  void InstallDeadline();
  // The enforced target pairs by node index, refused when no plan can keep them.
  void BuildSequence(const Problem& problem, const Options& options);
  // With pairs to keep, the phase alone serves: the search knows no pairs.
  bool PhaseOnly() const { return improve_ && !sequence_.empty(); }
  // The phase's routes with the pairs' waits in their costs; false when a pair
  // or a window is broken.
  bool PriceLinked(std::vector<WorkingRoute>& routes) const;
  void ChoosePlugins(const Options& options);
  void CompileRules();
  void HandOverToCheckers();
  void ValidateDirectInput(const PlannerGraph* graph, const std::vector<Point>& points,
                           const std::vector<AgentEntry>& agents,
                           const std::vector<int32_t>& starts,
                           const std::vector<int32_t>& ends) const;

  // Search (solver_search.cpp), in the order the search takes them.
  void ResetSearch();
  // Nothing when some agent cannot leave its start in time.
  std::optional<Label> MakeRoot() const;
  void MarkUnusedDepots(VisitedSet& visited) const;
  void PushRoot();
  void ResetLists();
  void RetryWithExactDominance();
  void SearchThenImprove();
  void RunPasses();
  void ChooseFastPaths();
  Iteration RunIteration(int32_t pass);
  bool ShouldStop();
  void UpdateBound(int32_t pass);
  void GenerateSuccessors(const Label& cur, int32_t agent);
  void TryMove(const Label& cur, int32_t agent, int32_t node);
  void ResetChild(const Label& cur, int32_t agent);
  bool MayEnter(const Label& cur, int32_t agent, int32_t node) const;
  bool CompleteChild(Label& child, int32_t agent, int32_t node);
  double EstimateChild(const Label& child) const;
  double DiscardingEstimate(const Label& child) const;
  void StoreChild(Label& child, int32_t parent_id);
  void HandleGoal(const Label& goal);
  void RecordAnytime();
  void KeepNoWorseThan(const Result& extracted);
  void AppendPassWeight();
  void RefillFocal(int32_t pass);

  // Label measures and list helpers (solver_labels.cpp, solver_lists.cpp).
  FocalEntry MakeFocalEntry(const Label& label) const;
  double LargestRouteCost(const Result& result) const;
  double IncumbentOf(const Result& result) const;
  Frontier& FrontierOf(const std::vector<int32_t>& key);
  const std::vector<int32_t>& DominanceKey(const Label& label);

  // Arc cost for one agent type: the flat table of the solver's own graph, or a
  // caller's graph through its interface.
  std::optional<double> ArcCost(int32_t u, int32_t v, int32_t type) const;

  // The improvement phase (solver_improve.cpp).
  bool SearchStalled();
  // The stall rule in force, and the one that scales with the instance.
  uint64_t StallIterations() const;
  uint64_t DefaultStall() const;
  uint64_t TargetCount() const;  // nodes that are not an agent's start
  void FreeSearchMemory();
  bool ImprovementBarred(const StopCheck& stop) const;
  void RunImprovement();

  // Progress reports (solver_progress.cpp).
  void InstallProgress();
  ProgressReport MakeProgressReport(double elapsed);

  // Instances beyond the exact search, with "improve" on, go to the phase alone
  // (solver_large.cpp).
  bool BeyondSearch() const;
  // The bytes the phase's tables will take, estimated before they are built.
  uint64_t ImprovementBytes() const;

  // Optional targets (solver_penalties.cpp): a penalty on a node or by default.
  static bool StatesPenalties(const Problem& problem, const Options& options);
  void BuildLeftOutPenalties(const Problem& problem, const Options& options);
  // A short reason no agent can serve target v, "" where no cheap test tells.
  std::string LeftOutReason(int32_t v) const;
  void ExplainLeftOut(Result& result) const;

  // Read-out (solver_results.cpp).
  void WritePathDump() const;
  // Route costs become route distances when distance is the objective.
  void MeasureByDistance(Result& result) const;
  // Every route's duration and distance, when the problem gives distances.
  void RecordMeasures(Result& result) const;

  std::unique_ptr<FocalComparatorPlugin> focal_comparator_;
  std::unique_ptr<HeuristicPlugin> heuristic_;
  std::unique_ptr<PostOptimizerPlugin> post_optimizer_;
  std::unique_ptr<ConstraintCheckerPlugin> constraint_checker_;
  std::unique_ptr<ExpansionPlugin> expansion_;
  std::unique_ptr<ObjectivePlugin> objective_;
  const PlannerGraph* graph_ = nullptr;
  std::vector<Point> points_;
  std::vector<AgentEntry> agents_;
  std::unordered_map<std::string, int32_t> type_index_;
  int32_t num_types_ = 0;
  double missing_cost_ = kMissingCost;  // an arc cost at or above it is no arc
  std::unordered_map<uint64_t, uint64_t> node_index_;
  std::unique_ptr<CompleteGraph> owned_graph_;  // never changes once built
  std::vector<MstEdge> mst_edges_;
  Result result_;
  InstanceStats instance_stats_;
  std::vector<int32_t> starts_;
  uint64_t num_agents_ = 0;
  std::vector<int32_t> ends_;
  std::vector<int32_t> unreachable_;
  TimeWindowMap time_windows_;
  double time_limit_ = 0.0;
  bool return_to_end_ = false;
  double last_update_time_ = 0.0;
  SimpleTimer timer_;
  LabelStore labels_;  // every label of the search with its parent, by id
  OpenList open_;
  FocalList focal_;  // ordered by focal_comparator_; rebuilt with it at every solve
  std::vector<double> focal_weights_{100.0};
  double focal_bound_ = 0.0;
  double incumbent_ = -1.0;
  int32_t max_passes_ = 100;
  int32_t found_ = 0;
  double max_path_length_ = -1.0;
  PositionIndex frontier_index_;  // joint position -> its frontier
  int32_t frontier_count_ = 0;
  std::vector<std::unique_ptr<Frontier>> frontiers_;
  uint64_t frontier_bytes_ = 0;  // held by all frontiers together
  std::vector<int32_t> dominance_key_;  // scratch for DominanceKey
  // Labels are compared only with labels of the same visited set. A label that
  // has visited more at no more cost may still be unable to finish (missing
  // arcs, windows or length limits can forbid every shortcut), so a search that
  // ends without a solution under the usual dominance is run again this way.
  bool exact_visited_dominance_ = false;
  std::vector<AnytimeEntry> anytime_;
  int32_t next_label_id_ = 0;
  std::string name_;
  // The standard plug-ins, when installed, are asked through their faster paths.
  enum class ObjectiveKind { kMinMax, kMinSum, kOther };
  const DefaultHeuristic* fast_heuristic_ = nullptr;
  ObjectiveKind objective_kind_ = ObjectiveKind::kOther;
  // Working labels, kept so their storage is reused from one iteration to the next.
  Label current_;  // the label being expanded
  Label child_;    // the successor being built
  Label lookup_;   // a stored label read for a list entry
  RouteRules rules_;  // compiled by Prepare from the tables above
  StopCheck stop_;    // the clock, interrupt, budgets and memory bound of every solve
  Diagnostics diagnostics_;  // this solver's own lines, silenced by the option quiet
  ProgressCallback progress_;
  bool improving_ = false;          // the improvement phase has begun
  size_t progress_seen_ = 0;        // anytime entries already scored for the reports
  uint64_t progress_solutions_ = 0;
  ImprovingSolutions progress_kept_;  // the anytime list's rule, for the reports
  // The improvement phase: off by default, and then nothing above changes.
  bool improve_ = false;
  uint64_t improve_seed_ = 0;
  uint64_t improve_iterations_ = 0;
  uint64_t improve_stall_ = 0;       // 0: StallIterations scales it
  int32_t improve_threads_ = 1;
  std::vector<OperatorCount> operator_counts_;
  BlockingSection blocking_;
  bool handed_over_ = false;         // the search stopped because it stalled
  size_t stall_solutions_seen_ = 0;  // anytime entries when the last new one was seen
  int32_t stall_expanded_at_ = 0;
  // Capacities: the option, and whether the search's labels carry loads (some
  // agent has a capacity to keep).
  bool enforce_capacities_ = false;
  std::vector<IndexPair> sequence_;
  bool search_loads_ = false;
  // Service durations by node index; empty when no node has one.
  std::vector<double> services_;
  // Distances beside the arc costs, when the problem gives some.
  std::unique_ptr<DenseCostTable> distances_;
  bool by_distance_ = false;  // min-sum counts distance: the phase's objective
  // Costs from positions for the types with a rule; with coordinates_only_ no
  // cost table or complete graph is built at all.
  CoordinateCosts coordinates_;
  bool coordinates_only_ = false;
  std::chrono::steady_clock::time_point clock_origin_;
  // What leaving each target out costs, by node index (+infinity: it must be
  // served); empty when none is optional, and only the phase reads it.
  std::vector<double> left_out_penalty_;
};

}  // namespace quarn
