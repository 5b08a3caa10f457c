#include <algorithm>
#include <cmath>
#include <vector>

#include "localsearch/improver.h"
#include "localsearch/local_model.h"
#include "localsearch/parallel_improver.h"
#include "records/stop_check.h"
#include "records/working_routes.h"
#include "rules/route_rules.h"
#include "solver/solver.h"

namespace quarn {
namespace {

// The search hands over once it has stalled: with a solution, when it has
// expanded this many labels without a new one (a small instance proves its
// optimum within them and ends on its own, with no phase after it); without
// one, after this many expansions; and in any case once this share of the time
// limit has gone (a smaller one while there is no solution).
constexpr int32_t kStallExpansions = 20000;
constexpr int32_t kGiveUpExpansions = 200000;
constexpr double kSearchShare = 0.25;
// Without a solution the phase builds its own, and needs the time more.
constexpr double kSearchShareWithout = 0.05;
// Without a finite time limit or a budget the phase would never end: it then
// runs this many iterations, as if they had been its budget.
constexpr uint64_t kUnlimitedIterations = 50000;
// The phase ends on its own after this many iterations without a better solution,
// per target, and never fewer: a tiny instance settles within milliseconds, a
// large one improves more rarely per iteration. The annealing cycles double, and
// on instances of 50-150 nodes the last gains come at the cold end of cycles of
// tens of thousands of iterations: a shorter stall ended the walk while hot, and
// a longer limit then bought nothing. It leaves room for several kicks.
constexpr uint64_t kStallPerTarget = 400;
constexpr uint64_t kLeastStall = 1000;
// A walk whose own best has stood this long is kicked (see ImproveSettings).
// A min-sum walk kicked sooner loses the cooling cycles that still find its
// last gains; kicked later, the stall ends it before a second kick.
constexpr uint64_t kMinMaxKickPerTarget = 25;
constexpr uint64_t kMinSumKickPerTarget = 50;
constexpr uint64_t kLeastKick = 500;

uint64_t PerTarget(uint64_t targets, uint64_t per_target, uint64_t least) {
  return std::max(least, per_target * targets);
}

}  // namespace

bool Solver::SearchStalled() {
  if (anytime_.size() != stall_solutions_seen_) {
    stall_solutions_seen_ = anytime_.size();
    stall_expanded_at_ = result_.n_expanded;
  }
  const double share = found_ == 0 ? kSearchShareWithout : kSearchShare;
  if (!(timer_.GetDuration() < share * time_limit_)) return true;
  if (found_ == 0) return result_.n_expanded >= kGiveUpExpansions;
  return result_.n_expanded - stall_expanded_at_ >= kStallExpansions;
}

uint64_t Solver::StallIterations() const { return improve_stall_ != 0 ? improve_stall_ : DefaultStall(); }

uint64_t Solver::TargetCount() const { return points_.size() > num_agents_ ? points_.size() - num_agents_ : 0; }

uint64_t Solver::DefaultStall() const { return PerTarget(TargetCount(), kStallPerTarget, kLeastStall); }

void Solver::FreeSearchMemory() {
  labels_.Reset(num_agents_, 0);
  open_.clear();
  focal_ = FocalList(FocalOrder(focal_comparator_.get()));
  frontier_index_.Reset(num_agents_);
  std::vector<std::unique_ptr<Frontier>>().swap(frontiers_);
  frontier_bytes_ = 0;
}

// A limit already passed (or a NaN one) leaves the phase no time to build routes
// in; tables beyond the memory bound end it as the bound ends a search.
bool Solver::ImprovementBarred(const StopCheck& stop) const {
  if (stop.ImprovementDone(0)) return true;
  if (stop.MemoryAllows(ImprovementBytes())) return false;
  diagnostics_.Err("[warning] the improvement phase needs about ", ImprovementBytes() >> 20,
                   " MiB, more than the memory limit allows; it does not run");
  return true;
}

// The search proves nothing when it ends on its own (its prunings can drop the
// optimum), so the phase always follows it; it ends at the limit, the budget or
// the interrupt ("cut"), or on its own once it stalls.
void Solver::RunImprovement() {
  operator_counts_.clear();
  stall_solutions_seen_ = 0;
  stall_expanded_at_ = 0;
  // From here on every cost is the objective's measure.
  if (by_distance_) {
    MeasureByDistance(result_);
    for (AnytimeEntry& entry : anytime_) MeasureByDistance(entry.second);
  }
  // A search the hand-over stopped was not cut: only its own limits count.
  const bool search_cut = result_.timeout && !handed_over_;
  improving_ = true;
  FreeSearchMemory();

  // The solve's own clock and interrupt, with the phase's budget and stall rule.
  StopCheck stop = stop_;
  const uint64_t budget = improve_iterations_ == 0 && !std::isfinite(time_limit_)
                              ? kUnlimitedIterations
                              : improve_iterations_;
  stop.SetIterationBudget(budget);
  stop.SetStall(StallIterations());
  if (ImprovementBarred(stop)) {
    result_.timeout = true;
    return;
  }

  const RouteRules& rules = rules_;
  LocalModel model(rules, time_windows_, by_distance_);
  model.SetLeftOutPenalties(left_out_penalty_);
  // The tables take a while on a large instance: Ctrl-C and the limit are asked again.
  if (stop.ImprovementDone(0)) {
    result_.timeout = true;
    return;
  }

  ImproveSettings settings;
  settings.seed = improve_seed_;
  settings.min_max = objective_kind_ != ObjectiveKind::kMinSum;
  settings.neighbour_limited = points_.size() > static_cast<size_t>(VisitedSet::kCapacity);
  // Walks settle in basins their seed decides (a single tour's local optimum
  // under min-sum), and one whose own best has stood a while is kicked out,
  // again each time it settles until the stall ends the phase.
  settings.restart_after =
      PerTarget(TargetCount(), settings.min_max ? kMinMaxKickPerTarget : kMinSumKickPerTarget, kLeastKick);
  ParallelImprover improver(model, settings, improve_threads_);

  std::vector<std::vector<int32_t>> initial(num_agents_);
  if (found_ != 0) {
    for (const WorkingRoute& route : LoadRoutes(result_, num_agents_)) {
      initial[static_cast<size_t>(route.agent)] = route.path;
    }
  }
  // Every route is judged by the rules before it is reported.
  auto to_result = [&](const LsSolution& s, Result& out) {
    std::vector<WorkingRoute> routes(num_agents_);
    for (int32_t r = 0; r < s.num_routes(); ++r) {
      WorkingRoute& route = routes[static_cast<size_t>(r)];
      route.agent = r;
      route.path = s.route(r).path;
      if (!rules.EvaluateRoute(route.path, r, route.cost)) return false;
      if (by_distance_) route.cost = rules.DistanceOf(route.path, r);
    }
    if (!sequence_.empty() && !PriceLinked(routes)) return false;
    out = result_;
    WriteBack(routes, out);
    out.unassigned = s.unassigned();
    out.penalty = s.left_out();
    return true;
  };
  // Only a solution better than the result so far is recorded: one the phase could
  // not load (a route it cannot vouch for) is no bar for its own.
  const LsObjective judge{settings.min_max, settings.alpha};
  auto improves = [&](const Result& next) {
    if (found_ == 0) return true;
    const CostSpread a = SpreadOf(next, num_agents_);
    const CostSpread b = SpreadOf(result_, num_agents_);
    return judge.Better(a.max + next.penalty, a.sum + next.penalty, b.max + result_.penalty,
                        b.sum + result_.penalty);
  };
  auto on_best = [&](const LsSolution& s) {
    Result next;
    if (!to_result(s, next) || !improves(next)) return;
    result_ = next;
    found_ = 1;
    stop.MarkBetter(improver.iterations());
    RecordAnytime();
  };
  improver.Run(initial, stop, on_best, blocking_);
  operator_counts_ = improver.operator_counts();
  result_.timeout = search_cut || stop.ImprovementCut();
  if (found_ == 0) return;
  max_path_length_ = LargestRouteCost(result_);
  ComputeInstanceStats();
}

}  // namespace quarn
