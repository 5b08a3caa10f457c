#pragma once

#include <cstdint>

#include "localsearch/objective.h"
#include "localsearch/solution.h"

namespace quarn {

// Moving the chain path[i .. i+len-1] of route `from` (reversed or not) into the
// gap before position `gap` of route `to`; shared by relocate and Or-opt.
// Prices the changed routes; `cost_to` is unused when from == to. Within one
// route the walk between chain and gap is skipped (cost +infinity) when the
// route's new travel alone cannot bring the objective's change below `beat`.
void PriceChainMove(const LsSolution& s, const LsObjective& objective, double beat, int32_t from,
                    int32_t i, int32_t len, bool reversed, int32_t to, int32_t gap,
                    double& cost_from, double& cost_to);
void ApplyChainMove(LsSolution& s, int32_t from, int32_t i, int32_t len, bool reversed, int32_t to,
                    int32_t gap);

}  // namespace quarn
