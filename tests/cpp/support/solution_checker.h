#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/options.h"
#include "model/problem.h"
#include "records/result.h"

namespace quarn::test {

// Every rule of `problem` that `result` breaks, one line each ("" for a feasible
// solution, readable in a failure). Works from the problem itself (ids, type names, the cost
// matrices), not from the solver's tables, so it checks the solver's setup too:
// - every node that is no agent's depot is visited exactly once;
// - each route starts at its agent's start and stops at its end, or with
//   `return_to_end` clear at its start; depots appear nowhere else;
// - the agent's type is allowed at every node it enters;
// - every move it pays has an arc (a cost below options.missing_cost, as the instance format says);
// - with options.enforce_capacities, the demand of the targets on each route is
//   at most its agent's capacity (0: no limit);
// - windows (with waiting) constrain the start of service; the route-length
//   limit holds with every service counted (a depot's service counts nothing);
// - with options.enforce_sequence, every pair: a plain one's `after` starts
//   no earlier than its `before` ends (the earliest plan the waits allow, so
//   the reported costs count them) and follows it on a shared route, a "same"
//   one is served by one agent in order, a "diff" one by two;
// - each reported cost equals the recomputed measure of its route (its
//   distance under min-sum with "minimise": "distance", else its duration), and
//   with distances given the reported durations and distances are right.
// Every agent stands at its start at time 0 and waits there for its window to open.
// A target may also be left out (listed in result.unassigned, ascending) where it
// has a penalty, its own or options.default_penalty (never at a depot), and
// result.penalty must be the sum of those left out.
std::string Violations(const Problem& problem, const Options& options, const Result& result);

// What leaving node `node` out costs; nothing where it must be served (a
// depot, `depots` holding the agents' starts and ends).
std::optional<double> LeftOutPenalty(const Problem& problem, const Options& options,
                                     const std::vector<int32_t>& depots, int32_t node);

// The cost the checker expects of each route (agent a drives routes[a]): its
// measure, with the waits of options.enforce_sequence's plain pairs counted.
std::vector<double> ExpectedCosts(const Problem& problem, const Options& options,
                                  const std::vector<std::vector<int32_t>>& routes);

// The best objective value (the longest route for min-max, the sum of the routes
// for min-sum) over every solution the rules above accept; nullopt when there is none. Tries every order of the targets over the
// agents, so it is for instances of a few targets only.
std::optional<double> OptimalValue(const Problem& problem, const Options& options);

}  // namespace quarn::test
