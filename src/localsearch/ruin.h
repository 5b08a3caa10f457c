#pragma once

#include <cstdint>
#include <vector>

#include "localsearch/neighbours.h"
#include "localsearch/rng.h"
#include "localsearch/solution.h"

namespace quarn {

// SISR's adjacent string removal: around a random seed target, strings of
// consecutive targets are cut from several nearby routes.
struct RuinSettings {
  double average_removed = 10.0;  // c-bar
  int32_t max_string = 10;        // L-max
  // On long routes a string may take up to this share of the mean route, but
  // no more than `longest_string` targets: on routes of hundreds of targets
  // strings of ten change too little at a time to move the borders between
  // routes. Where routes hold at most L-max / share targets, L-max stands.
  double string_share = 0.25;
  int32_t longest_string = 30;
  // The chance that the seed target is drawn from the longest route (the
  // priciest; the first of equals) instead of from all targets.
  double longest_route = 0.0;
};

// Removes strings from `s` (routes refreshed) and returns the removed targets.
std::vector<int32_t> RuinAdjacentStrings(LsSolution& s, const Neighbours& neighbours,
                                         const RuinSettings& settings, Rng& rng);

}  // namespace quarn
