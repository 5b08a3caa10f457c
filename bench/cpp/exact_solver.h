#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/options.h"
#include "model/problem.h"
#include "records/result.h"

namespace quarn::test {

// The route rules of the solution checker (Violations) as single moves, for building routes instead of
// judging them: the clock is the accumulated cost, every agent stands at its start
// at time 0 (and leaves once the start's window opens), waits at a window that has not opened, may arrive exactly when it closes,
// and leaves a target once its service is done;
// costs of options.missing_cost or more (and NaN, and missing entries) are no
// arc; with open routes the move onto the agent's start or end, which ends its route, is free.
class RouteRules {
 public:
  RouteRules(const Problem& problem, const Options& options);

  int NumAgents() const { return static_cast<int>(starts_.size()); }
  int32_t Start(int agent) const { return starts_[static_cast<size_t>(agent)]; }
  int32_t End(int agent) const { return ends_[static_cast<size_t>(agent)]; }
  // The nodes every solution visits once: those that are no agent's depot, ascending.
  const std::vector<int32_t>& Targets() const { return targets_; }

  // When `agent` leaves its start; nothing when the start's window closed before time 0,
  // or opens after the agent's route-length limit.
  std::optional<double> Departure(int agent) const;
  // The clock once `agent`, at `from` at time `t`, has entered `to`; nothing when
  // the move breaks a rule (no arc, type not allowed, window closed, over the limit).
  std::optional<double> Step(int agent, int32_t from, double t, int32_t to) const;

  // The clock at the end of `route` of `agent`, whether or not it keeps the rules
  // (a missing entry costs missing_cost), for reporting the cost of a route under judgement.
  double Clock(int agent, const std::vector<int32_t>& route) const;

  // With capacities enforced, whether `agent` may serve the targets of `set` (bit j:
  // Targets()[j]) on one route; always true otherwise.
  bool Fits(int agent, size_t set) const;

  // The cheapest way for `agent`, at `last` at time `t` (its start when it visited
  // nothing), to end its route: the final node (none: the route may stay [start])
  // and the clock there; nothing when no ending keeps the rules.
  std::optional<std::pair<std::optional<int32_t>, double>> Finish(int agent, int32_t last,
                                                                  double t) const;

 private:
  bool TypeAllowed(int agent, int32_t node) const;
  double Travel(int agent, int32_t from, int32_t to) const;

  const Problem& problem_;
  bool return_to_end_;
  double missing_cost_;
  bool enforce_capacities_;
  std::vector<int32_t> starts_;
  std::vector<int32_t> ends_;
  std::vector<int32_t> targets_;
  std::unordered_map<int32_t, std::pair<double, double>> windows_;
  std::vector<double> services_;  // by node index; 0 at depots
};

struct ExactAnswer {
  bool feasible = false;
  double objective = 0.0;  // the largest route cost (min-max) or their sum (min-sum), plus penalties
  Result witness;          // an optimal solution in the solver's layout, when feasible
};

// Targets an exact search accepts: its tables grow as 3 to this power.
constexpr int kMaxExactTargets = 12;

// The optimum of a small instance by dynamic programming over subsets of targets,
// per agent (the earliest clock at each visited set and last target: waiting makes
// a later clock never better), then over the agents. Throws std::invalid_argument
// beyond kMaxExactTargets.
ExactAnswer SolveExactly(const Problem& problem, const Options& options);

// The objective of `result` under `options`, from its reported route costs and
// the penalties of the targets it leaves out.
double ObjectiveOf(const Result& result, const Options& options);

}  // namespace quarn::test
