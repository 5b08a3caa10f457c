#pragma once

#include <cstdint>
#include <vector>

#include "localsearch/local_model.h"
#include "localsearch/move_operator.h"
#include "localsearch/objective.h"
#include "localsearch/solution.h"
#include "localsearch/timing_segment.h"
#include "rules/sequence_rules.h"

namespace quarn {

// Target pairs in the improvement phase. A pair can tie two routes' clocks
// together, which no prefix or suffix summary holds: moves on routes holding a
// paired target are priced by timing the whole plan again, the others keep
// their constant-time prices.

// Every route timed together, as the phase walks one route.
LinkedTiming ScheduleLinked(const LocalModel& model, const std::vector<const std::vector<int32_t>*>& paths);

// Route r's charge `own` (its own walk's load and distance) with the timing of the plan.
RouteCharge LinkedCharge(const LocalModel& model, int32_t r, const RouteCharge& own, const LinkedTiming& timing);

// The exact change of the objective if `op` applied `move`, every route's
// waits and broken pairs included.
double LinkedDelta(LsSolution& s, const LsObjective& objective, const MoveOperator& op, const Move& move);

// A lower bound of LinkedDelta from the move's own prices: waits and broken
// pairs only add to a route's price, so every route costs at least what it
// would without them.
double LinkedBound(const LsSolution& s, const LsObjective& objective, const Move& move);

// Prices the moves `evaluate` finds as plain operators do, but a move on a route
// holding a paired target at its exact LinkedDelta; keeps it when it beats `best`.
template <class Evaluate>
bool OfferLinked(LsSolution& s, const LsObjective& objective, const MoveOperator& op, const Evaluate& evaluate,
                 Move& best) {
  Move move;
  move.delta = kLsInfinity;
  if (!evaluate(move)) return false;
  if (s.route(move.r1).paired > 0 || (move.r2 >= 0 && s.route(move.r2).paired > 0)) {
    if (!(LinkedBound(s, objective, move) < best.delta)) return false;
    move.delta = LinkedDelta(s, objective, op, move);
  }
  if (!(move.delta < best.delta)) return false;
  best = move;
  return true;
}

// A ruin that took one target of a "same" pair takes its partner too, so the
// recreate may place the pair in another route together.
void RuinPartners(LsSolution& s);

// When v has a "same" partner that is not placed either, both go in at once at
// the cheapest pair of gaps of one route (not `closed`), `before` first; false
// when v has none or no route may take both.
bool InsertWithPartner(LsSolution& s, const LsObjective& objective, int32_t v, int32_t closed);

// Target v may go into route r before path[gap] as far as its pairs with
// targets already placed say: a "same" partner's route on the right side of
// it, never a "diff" partner's route, after a plain `before` in the same route.
bool PairsAllow(const LsSolution& s, int32_t r, int32_t gap, int32_t v);

}  // namespace quarn
