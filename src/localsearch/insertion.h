#pragma once

#include <cstdint>
#include <vector>

#include "localsearch/neighbours.h"
#include "localsearch/objective.h"
#include "localsearch/rng.h"
#include "localsearch/solution.h"
#include "records/stop_check.h"

namespace quarn {

// Where one target goes: the route, the gap (before path[gap]) and the new cost.
struct InsertionSpot {
  int32_t route = -1;
  int32_t gap = -1;
  double cost = kLsInfinity;
  double delta = kLsInfinity;
};

// The cheapest feasible gap of route r for target v, or none; with `pairs` only
// the gaps the target's pairs allow (see PairsAllow).
InsertionSpot CheapestInRoute(const LsSolution& s, int32_t r, int32_t v, Rng* rng = nullptr,
                              double blink = 0.0, bool pairs = true);
// The cheapest feasible spot over all routes under the objective; each gap is
// skipped with probability `blink` when a generator is given (SISR's blinks).
// Route `closed` (if not -1) takes nothing. Under soft penalties a spot that breaks
// a window or a limit is priced, not refused.
InsertionSpot CheapestInsertion(const LsSolution& s, const LsObjective& objective, int32_t v,
                                Rng* rng = nullptr, double blink = 0.0, int32_t closed = -1);
// As CheapestInsertion, but only the gaps beside v's nearest targets and beside
// the depots are priced, so the work does not grow with the routes; all gaps
// when none of those is feasible.
InsertionSpot NearInsertion(const LsSolution& s, const LsObjective& objective,
                            const Neighbours& neighbours, int32_t v, Rng* rng = nullptr,
                            double blink = 0.0, int32_t closed = -1);
void InsertAt(LsSolution& s, int32_t v, const InsertionSpot& spot);
// A target that must be served and that no gap takes alone (where arcs are
// missing, it may be reachable only behind another target) goes in with a
// partner right beside it: the cheapest such chain over all routes but
// `closed`, with a left-out partner, or failing one, with a partner taken off
// another route; again while one fits. Expects the left-out list collected;
// leaves it collected. Instances with target pairs are left to their own
// insertion.
void InsertChains(LsSolution& s, const LsObjective& objective, int32_t closed = -1);

// Builds routes for the unassigned targets by regret-2 insertion: the target that
// would lose most by waiting goes first. Targets with no feasible spot stay out.
void RegretInsertion(LsSolution& s, const LsObjective& objective);
// A first solution whose cost grows with the targets times the list length:
// targets farthest from the depots first, each at its NearInsertion spot. Ends
// early, with targets left out, once `stop` (when given) has expired.
void FarthestFirstInsertion(LsSolution& s, const LsObjective& objective, const Neighbours& neighbours,
                      const std::vector<double>& depot_distance, const StopCheck* stop = nullptr);
// Inserts `order`'s targets one by one, each at its cheapest spot (its
// NearInsertion spot when `neighbours` is given) where inserting pays. Ends
// early, with targets left out, once `stop` (when given) has expired: it is
// asked every 64 insertions.
void InsertInOrder(LsSolution& s, const LsObjective& objective, const Neighbours* neighbours,
                   const std::vector<int32_t>& order, const StopCheck* stop = nullptr);

}  // namespace quarn
