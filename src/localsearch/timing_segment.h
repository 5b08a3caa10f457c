#pragma once

#include <algorithm>
#include <cstdint>

#include "localsearch/local_model.h"

namespace quarn {

// A stretch of consecutive nodes summarised as in Vidal's segments: started at
// time t it begins at clamp(t, earliest, latest) (waiting before `earliest`,
// travelling back in time, the time warp, after `latest`) and ends `duration -
// time_warp` later. Two stretches concatenate in O(1), so a move that cuts and
// rejoins routes is priced from cached prefix and suffix stretches. Every rule
// a route carries joins here (a load is a sum, a service time joins the
// duration), so the operators never learn which rules exist.
struct TimingSegment {
  double earliest = -kLsInfinity;
  double latest = kLsInfinity;
  double duration = 0.0;   // travel, waiting and service, time travelled back included
  double time_warp = 0.0;  // time travelled back to meet the windows
  int32_t first = -1;
  int32_t last = -1;
  double load = 0.0;       // the demand served along the stretch
  double distance = 0.0;   // the legs' distances summed (kept only when priced)

  static TimingSegment Of(const LocalModel& model, int32_t node) {
    return TimingSegment{model.earliest(node), model.latest(node), model.service(node), 0.0, node, node,
                         model.demand(node)};
  }
  // A stretch known not to exist (a missing arc inside it).
  static TimingSegment Broken(int32_t first, int32_t last) {
    return TimingSegment{-kLsInfinity, kLsInfinity, kLsInfinity, 0.0, first, last};
  }
  bool broken() const { return !(duration < kLsInfinity); }
};

// `a` then `b` with `travel` between a.last and b.first; false when there is no
// arc or either part is broken. The distance is left as it was: only a phase
// that prices distance keeps it, through the overload below.
inline bool Concat(const TimingSegment& a, double travel, const TimingSegment& b, TimingSegment& out) {
  if (!(travel < kLsInfinity) || a.broken() || b.broken()) return false;
  const double reach = a.duration - a.time_warp + travel;
  const double wait = std::max(b.earliest - reach - a.latest, 0.0);
  const double warp = std::max(a.earliest + reach - b.latest, 0.0);
  const double earliest = std::max(b.earliest - reach, a.earliest) - wait;
  const double latest = std::min(b.latest - reach, a.latest) + warp;
  out.duration = a.duration + b.duration + travel + wait;
  out.time_warp = a.time_warp + b.time_warp + warp;
  out.earliest = earliest;
  out.latest = latest;
  out.first = a.first;
  out.last = b.last;
  out.load = a.load + b.load;
  return true;
}

// The same with the leg's `distance` summed too.
inline bool Concat(const TimingSegment& a, double travel, double distance, const TimingSegment& b,
                   TimingSegment& out) {
  const double sum = a.distance + b.distance + distance;
  if (!Concat(a, travel, b, out)) return false;
  out.distance = sum;
  return true;
}

// `a` then `b` as agent `agent` drives the leg between them; the distance only
// where it is priced.
inline bool Join(const LocalModel& model, int32_t agent, const TimingSegment& a, const TimingSegment& b,
                 TimingSegment& out) {
  const double travel = model.Travel(agent, a.last, b.first);
  if (!model.by_distance()) return Concat(a, travel, b, out);
  return Concat(a, travel, model.Distance(agent, a.last, b.first), b, out);
}

// Appends one node to `seg` for agent `agent`.
inline bool Extend(const LocalModel& model, int32_t agent, TimingSegment& seg, int32_t node) {
  return Join(model, agent, seg, TimingSegment::Of(model, node), seg);
}

// What a whole route breaks when it leaves at time 0: its finishing time (the
// route's cost), the time warp, the excess over the agent's length limit and
// the load beyond its capacity.
struct RouteCharge {
  double finish = kLsInfinity;
  double time_warp = 0.0;
  double excess = 0.0;
  double load_excess = 0.0;
  double distance = 0.0;
  bool exists() const { return finish < kLsInfinity; }
  bool feasible() const { return exists() && time_warp <= 0.0 && excess <= 0.0 && load_excess <= 0.0; }
};

// The load beyond the agent's capacity, 0 within it or without one.
inline double LoadExcess(const LocalModel& model, int32_t agent, double load) {
  const double capacity = model.capacity(agent);
  return capacity > 0.0 && load > capacity ? load - capacity : 0.0;
}

inline RouteCharge ChargeOf(const LocalModel& model, int32_t agent, const TimingSegment& seg) {
  RouteCharge charge;
  if (seg.broken()) return charge;
  double begin = std::max(0.0, seg.earliest);
  charge.time_warp = seg.time_warp;
  if (begin > seg.latest) {
    charge.time_warp += begin - seg.latest;
    begin = seg.latest;
  }
  charge.finish = begin + seg.duration - seg.time_warp;
  charge.distance = seg.distance;
  const double limit = model.limit(agent);
  if (limit > 0.0 && charge.finish > limit) charge.excess = charge.finish - limit;
  charge.load_excess = LoadExcess(model, agent, seg.load);
  return charge;
}

// The weights a broken rule is charged at; +infinity makes the rule hard. The
// price is the route's finishing time, or its distance when that is the
// objective, plus the weighted breaks; either measure is a lower bound of it.
struct Penalties {
  double time_warp = kLsInfinity;
  double excess = kLsInfinity;
  double load = kLsInfinity;

  double Price(const RouteCharge& charge, bool by_distance = false) const {
    double price = by_distance && charge.exists() ? charge.distance : charge.finish;
    if (charge.time_warp > 0.0) price += time_warp * charge.time_warp;
    if (charge.excess > 0.0) price += excess * charge.excess;
    if (charge.load_excess > 0.0) price += load * charge.load_excess;
    return price;
  }
};

}  // namespace quarn
