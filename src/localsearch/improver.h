#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "localsearch/local_model.h"
#include "localsearch/local_search.h"
#include "localsearch/neighbours.h"
#include "localsearch/objective.h"
#include "localsearch/rng.h"
#include "localsearch/ruin.h"
#include "localsearch/solution.h"
#include "records/stop_check.h"

namespace quarn {

struct ImproveSettings {
  uint64_t seed = 0;
  bool min_max = false;
  double alpha = 0.01;            // weight of the total under min-max
  int32_t neighbours = 20;        // granular list length
  double blink = 0.01;            // SISR's blink rate
  RuinSettings ruin;
  // Under min-max, the share of ruins centred on the longest route: only a
  // change there lowers the objective, and a random seed lands on it one time
  // in m.
  double longest_route_ruin = 0.5;
  // Under min-max with few agents on many targets and no other rule, once a
  // plan is found the walk minimises the total plus `balance_cap_weight` times
  // each route's length above the best's longest less `balance_cap_share` of
  // it. Where routes are long and balanced, nearly every move lengthens some
  // route to the longest, which the longest-route objective refuses; priced
  // by the total, the walk redraws the borders between routes, and the cap
  // keeps them balanced. It settles where the total is least, so it takes
  // turns with the plain walk whenever the walk's best has stood a quarter of
  // the stall that kicks it. Only up to `balance_cap_agents` agents with at
  // least `balance_cap_targets` targets each; 0: never. With more agents a
  // route's trips to and from the depot weigh more against it, and the total
  // alone draws targets into fewer routes and leaves the good plans: from
  // `balance_steep_agents` agents on, each route also pays
  // `balance_steep_weight` times its length beyond `balance_steep_share` above
  // the best's longest, and each agent needs `balance_steep_targets` targets.
  int32_t balance_cap_agents = 10;
  int32_t balance_cap_targets = 100;
  double balance_cap_share = 0.002;
  double balance_cap_weight = 0.5;
  int32_t balance_steep_agents = 4;
  int32_t balance_steep_targets = 150;
  double balance_steep_share = 0.01;
  double balance_steep_weight = 10.0;
  bool local_search = true;       // descend on every candidate
  // The temperature falls geometrically from start to end (times the mean arc
  // of the first solution) over a cycle, then reheats from the best solution;
  // the first cycle lasts `first_cycle` iterations whatever the size, so that
  // even a large instance has cooled once within a short limit, and each later
  // one twice the one before. The walk so depends on the iteration count only:
  // a longer limit continues where a shorter stopped.
  double start_temperature = 1.0;
  double end_temperature = 0.01;
  uint64_t first_cycle = 1000;
  // Windows and length limits are soft inside the phase: broken ones are
  // charged at weights that every `penalty_interval` iterations grow (x1.2) or
  // shrink (x0.85) toward `target_feasible`, the share of candidates whose
  // routes all keep them. The best solution kept is always feasible.
  bool soft_rules = true;
  double target_feasible = 0.4;
  int32_t penalty_interval = 100;
  // Until a first plan keeps every rule the weights move this often instead:
  // with a tight fleet the slow pace leaves them low for seconds on a large
  // instance, and the walk settles on routes that break a window.
  int32_t first_plan_penalty_interval = 20;
  double initial_penalty = 100.0;
  // Until a first plan, when the least that any candidate breaks has not
  // shrunk for this many iterations and a weight has grown to ten times its
  // start, the weights start again from `initial_penalty`: grown that far they
  // freeze the walk where it stands, and lower weights let it leave for routes
  // that break less. 0: never.
  uint64_t first_plan_stall = 400;
  // Under min-sum, the chance per iteration that one route is emptied into the
  // others, and that an idle agent's route is opened by a removed target.
  double route_elimination = 0.1;
  // Before a first plan (under min-max: walked as min-sum, see Improver::Prepare;
  // not neighbour-limited), those moves are taken only once the least any
  // candidate breaks has not shrunk for this many iterations; 0: never.
  uint64_t first_plan_fleet_stall = 100;
  // For instances too large for quadratic steps: the first solution by
  // FarthestFirstInsertion (reported before its descent), recreate by
  // NearInsertion, and the descent requeues only near targets.
  bool neighbour_limited = false;
  // A walk whose own best has not improved for this many iterations (under
  // min-max: whose longest route has not got shorter) is kicked out of where
  // it settled (see Improver::Restart); 0: never.
  uint64_t restart_after = 0;
  // Under windows, once a first plan keeps every rule, the neighbour lists
  // rank targets by time as well as travel (see Neighbours): better routes
  // after it, while lists by travel alone reach that first plan sooner.
  bool lists_by_time = true;
};

// Ruin-and-recreate (SISR: adjacent strings, insertion with blinks) under
// simulated annealing, each candidate polished by the granular local search.
// Starts from the given paths (full paths, one per agent; an empty path means
// idle), builds a first solution by regret insertion where targets are missing.
class Improver {
 public:
  Improver(const LocalModel& model, const ImproveSettings& settings);

  // `on_best` is called for every better complete feasible solution. True when
  // such a solution exists at the end; `best()` is then it. The schedule follows
  // the iteration count, so the walk is the same for any limit.
  bool Run(const std::vector<std::vector<int32_t>>& initial, const StopCheck& stop,
           const std::function<void(const LsSolution&)>& on_best);

  // Run in pieces, for a driver that runs several walks and exchanges their
  // best: Start builds the tables and the first solution (false when a stop came
  // first); Step is one iteration (false when there is nothing to improve);
  // Adopt makes `s` the current solution, and the best when it is better.
  bool Start(const std::vector<std::vector<int32_t>>& initial, const StopCheck& stop,
             const std::function<void(const LsSolution&)>& on_best);
  bool Step(const StopCheck& stop);
  void Adopt(const LsSolution& s);

  const LsSolution& best() const { return best_; }
  bool has_best() const { return has_best_; }
  uint64_t iterations() const { return iterations_; }
  // Per operator of LocalSearch::AllOperators, over the last run.
  const std::vector<OperatorCount>& operator_counts() const { return local_->counts(); }
  const Penalties& penalties() const { return penalties_; }

 private:
  // What one ruin left for its recreate: a route that takes nothing back (the
  // one emptied) and an idle route the first target must open, or -1.
  struct Ruined {
    std::vector<int32_t> pending;
    int32_t closed = -1;
    int32_t opened = -1;
  };

  void Prepare(const StopCheck& stop);
  void Load(const std::vector<std::vector<int32_t>>& initial, LsSolution& s) const;
  void Construct(LsSolution& s, const StopCheck& stop);
  void Build(LsSolution& s, const StopCheck& stop, bool time_ordered);
  std::pair<int32_t, double> Breaks(const LsSolution& s, const Penalties& weights) const;
  void FirstPlanSeen();
  void ListByTime(const StopCheck& stop);
  void Descend(LsSolution& s, const std::vector<int32_t>& seeds, const StopCheck& stop);
  Ruined Ruin(LsSolution& s);
  void Recreate(LsSolution& s, const LsSolution& current, Ruined& ruined);
  bool Accept(const LsSolution& candidate, const LsSolution& current);
  void KeepBest(const LsSolution& s);
  void SetCap(const LsSolution& best);
  void Restart(const StopCheck& stop);
  void Kick(LsSolution& s, const LsSolution& reference, const StopCheck& stop);
  void RecordFeasibility(const LsSolution& s);
  void AdaptPenalties(LsSolution& current);
  Penalties InitialPenalties() const;
  // Before a first plan, whether the least broken is followed (only where the
  // weights may be eased).
  bool FollowsLeastBroken() const { return settings_.soft_rules && settings_.first_plan_stall > 0; }
  void EaseIfFrozen(const LsSolution& candidate);
  void StartSchedule(const LsSolution& first);
  double Temperature() const;
  void ReheatIfDue(LsSolution& current);

  const LocalModel& model_;
  ImproveSettings settings_;
  LsObjective objective_;
  LsSolution best_;
  bool has_best_ = false;
  bool capped_ = false;  // see ImproveSettings::balance_cap_agents
  bool steep_ = false;   // the capped walk pays steeply too
  bool cap_off_ = false;  // the capped walk's turn without the cap
  uint64_t cap_switched_at_ = 0;
  LsSolution current_;
  LsSolution candidate_;
  // The other start, walked every other iteration until a first plan.
  LsSolution rival_;
  bool racing_ = false;
  uint64_t iterations_ = 0;
  std::function<void(const LsSolution&)> on_best_;

  Rng rng_;
  std::unique_ptr<Neighbours> neighbours_;
  bool lists_by_time_due_ = false;
  std::unique_ptr<LocalSearch> local_;
  std::vector<double> depot_distance_;
  bool has_limits_ = false;
  Penalties penalties_;
  // Candidates seen since the weights last moved, and how many kept each rule.
  uint64_t candidates_seen_ = 0;
  uint64_t candidates_without_warp_ = 0;
  uint64_t candidates_without_excess_ = 0;
  uint64_t candidates_without_load_ = 0;
  uint64_t candidates_without_link_ = 0;
  double t_start_ = 1.0;
  double t_end_ = 0.01;
  uint64_t cycle_begin_ = 0;
  uint64_t cycle_length_ = 1;
  // The best this walk has found since it last started, by Measures
  // (+infinity before it has found one).
  std::pair<double, double> walk_best_{kLsInfinity, kLsInfinity};
  uint64_t walk_better_at_ = 0;
  // Before a first plan: the least any candidate has broken (targets missing,
  // then the sum of what its routes break, unweighted), and when it was seen;
  // set in Prepare.
  std::pair<int32_t, double> least_broken_;
  uint64_t least_broken_at_ = 0;
};

}  // namespace quarn
