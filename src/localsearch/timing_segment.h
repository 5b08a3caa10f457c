#pragma once

#include <algorithm>
#include <cstdint>

#include "localsearch/local_model.h"

namespace quarn {

// A stretch of consecutive nodes with hard windows and waiting: reached at time
// a <= latest it ends at max(a, earliest) + duration; reached later it fails.
// Two stretches concatenate in O(1), so a move that cuts and rejoins routes is
// priced from cached prefix and suffix stretches (Vidal's segment idea without
// time warp, since windows here are hard).
struct TimingSegment {
  double earliest = -kLsInfinity;
  double latest = kLsInfinity;
  double duration = 0.0;
  int32_t first = -1;
  int32_t last = -1;

  static TimingSegment Of(const LocalModel& model, int32_t node) {
    return TimingSegment{model.earliest(node), model.latest(node), 0.0, node, node};
  }
  // The time at the last node when the route starts the stretch at time 0.
  double FinishFromZero() const { return std::max(0.0, earliest) + duration; }
  bool FeasibleFromZero() const { return 0.0 <= latest; }
};

// `a` then `b` with `travel` between a.last and b.first; false when no arrival
// time at a.first gets through both (or there is no arc).
inline bool Concat(const TimingSegment& a, double travel, const TimingSegment& b,
                   TimingSegment& out) {
  if (!(travel < kLsInfinity)) return false;
  const double reach = a.duration + travel;
  const double latest = b.latest - reach;
  if (a.earliest > latest) return false;
  out.earliest = std::max(a.earliest, b.earliest - reach);
  out.latest = std::min(a.latest, latest);
  out.duration = reach + b.duration;
  out.first = a.first;
  out.last = b.last;
  return true;
}

// Appends one node to `seg` for agent `agent`.
inline bool Extend(const LocalModel& model, int32_t agent, TimingSegment& seg, int32_t node) {
  return Concat(seg, model.Travel(agent, seg.last, node), TimingSegment::Of(model, node), seg);
}

// Route cost of a whole route's segment (starting at time 0), or +infinity when
// the windows or the length limit break.
inline double RouteCostOf(const LocalModel& model, int32_t agent, const TimingSegment& seg) {
  if (!seg.FeasibleFromZero()) return kLsInfinity;
  const double cost = seg.FinishFromZero();
  return model.WithinLimit(agent, cost) ? cost : kLsInfinity;
}

}  // namespace quarn
