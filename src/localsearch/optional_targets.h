#pragma once

#include <cstdint>
#include <vector>

#include "localsearch/neighbours.h"
#include "localsearch/objective.h"
#include "localsearch/solution.h"

namespace quarn {

// The change of the objective when optional target u, now served, is left out:
// its route without it (from the cached removal price) plus its penalty;
// +infinity for a target that must be served or is not on a route.
double DropDelta(const LsSolution& s, const LsObjective& objective, int32_t u);
// Takes u off its route; the solution's caches and left-out list are brought up to date.
void DropTarget(LsSolution& s, int32_t u);
// Puts back every left-out optional target whose cheapest spot (beside its
// nearest targets when `neighbours` is given) costs less than its penalty, by
// at least `margin`. The routes changed, each once.
std::vector<int32_t> InsertPaying(LsSolution& s, const LsObjective& objective, double margin,
                                  const Neighbours* neighbours = nullptr);

// On open routes: every route that is cheaper closed at its other depot (its
// start instead of its end, or back) is so closed. The routes changed.
std::vector<int32_t> SwitchFinalDepots(LsSolution& s, const LsObjective& objective, double margin);

}  // namespace quarn
