#include <algorithm>
#include <cmath>
#include <vector>

#include "localsearch/improver.h"
#include "localsearch/local_model.h"
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

void Solver::RunImprovement() {
  stall_solutions_seen_ = 0;
  stall_expanded_at_ = 0;
  // A search that ended on its own with a solution has proven it. One that ended
  // without any has not proven there is none (its pruning rules and pass cap can
  // leave feasible instances unsolved), so the phase still tries to build one.
  if (!result_.timeout && found_ != 0) return;
  improving_ = true;
  // The search's memory goes before the phase begins.
  labels_.Reset(num_agents_, 0);
  open_.clear();
  focal_ = FocalList(FocalOrder(focal_comparator_.get()));
  frontier_index_.Reset(num_agents_);
  std::vector<std::unique_ptr<Frontier>>().swap(frontiers_);
  frontier_bytes_ = 0;

  const RouteRules& rules = rules_;
  const LocalModel model(rules, time_windows_);

  // The solve's own clock and interrupt, with the phase's budget.
  StopCheck stop = stop_;
  const uint64_t budget = improve_iterations_ == 0 && !std::isfinite(time_limit_)
                              ? kUnlimitedIterations
                              : improve_iterations_;
  stop.SetIterationBudget(budget);

  ImproveSettings settings;
  settings.seed = improve_seed_;
  settings.min_max = objective_kind_ != ObjectiveKind::kMinSum;
  settings.neighbour_limited = BeyondSearch();
  Improver improver(model, settings);

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
    }
    out = result_;
    WriteBack(routes, out);
    return true;
  };
  const double phase_start = timer_.GetDuration();
  auto progress = [&](uint64_t iteration) {
    if (budget != 0) return static_cast<double>(iteration) / static_cast<double>(budget);
    const double span = time_limit_ - phase_start;
    return span > 0.0 ? (timer_.GetDuration() - phase_start) / span : 1.0;
  };
  auto on_best = [&](const LsSolution& s) {
    Result next;
    if (!to_result(s, next)) return;
    result_ = next;
    found_ = 1;
    RecordAnytime();
  };
  improver.Run(initial, stop, progress, on_best);
  if (found_ == 0) return;
  result_.timeout = true;
  max_path_length_ = LargestRouteCost(result_);
  ComputeInstanceStats();
}

}  // namespace quarn
