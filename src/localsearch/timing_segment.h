#pragma once

#include <algorithm>
#include <cstdint>

#include "localsearch/local_model.h"

namespace quarn {

// A stretch of consecutive nodes summarised as in Vidal's segments: started at
// time t it begins at clamp(t, earliest, latest) (waiting before `earliest`,
// travelling back in time, the time warp, after `latest`) and ends `duration -
// time_warp` later. Two stretches concatenate in O(1), so a move that cuts and
// rejoins routes is priced from cached prefix and suffix stretches. A service
// time joins the duration; the sums a route also carries (load, distance) are
// kept beside it by whoever needs them, so the segment stays small where they
// are not.
struct TimingSegment {
  double earliest = -kLsInfinity;
  double latest = kLsInfinity;
  double duration = 0.0;   // travel, waiting and service, time travelled back included
  double time_warp = 0.0;  // time travelled back to meet the windows
  int32_t first = -1;
  int32_t last = -1;

  static TimingSegment Of(const LocalModel& model, int32_t node) {
    return TimingSegment{model.earliest(node), model.latest(node), model.service(node), 0.0, node, node};
  }
  // A stretch known not to exist (a missing arc inside it).
  static TimingSegment Broken(int32_t first, int32_t last) {
    return TimingSegment{-kLsInfinity, kLsInfinity, kLsInfinity, 0.0, first, last};
  }
  bool broken() const { return !(duration < kLsInfinity); }
};

// `a` then `b` with `travel` between a.last and b.first; false when there is no
// arc or either part is broken.
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
  return true;
}

// `a` then `b` as agent `agent` drives the leg between them.
inline bool Join(const LocalModel& model, int32_t agent, const TimingSegment& a, const TimingSegment& b,
                 TimingSegment& out) {
  return Concat(a, model.Travel(agent, a.last, b.first), b, out);
}

// Appends one node to `seg` for agent `agent`.
inline bool Extend(const LocalModel& model, int32_t agent, TimingSegment& seg, int32_t node) {
  return Concat(seg, model.Travel(agent, seg.last, node), TimingSegment::Of(model, node), seg);
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
  double link = 0.0;  // the weight of the target pairs broken (see LinkedTiming)
  bool exists() const { return finish < kLsInfinity; }
  bool feasible() const {
    return exists() && time_warp <= 0.0 && excess <= 0.0 && load_excess <= 0.0 && link <= 0.0;
  }
};

// The load beyond the agent's capacity, 0 within it or without one.
inline double LoadExcess(const LocalModel& model, int32_t agent, double load) {
  const double capacity = model.capacity(agent);
  return capacity > 0.0 && load > capacity ? load - capacity : 0.0;
}

// The timing's share of a route's charge: what it breaks without loads and
// prices by its finishing time.
inline RouteCharge TimingCharge(const LocalModel& model, int32_t agent, const TimingSegment& seg) {
  RouteCharge charge;
  if (seg.broken()) return charge;
  double begin = std::max(0.0, seg.earliest);
  charge.time_warp = seg.time_warp;
  if (begin > seg.latest) {
    charge.time_warp += begin - seg.latest;
    begin = seg.latest;
  }
  charge.finish = begin + seg.duration - seg.time_warp;
  const double limit = model.limit(agent);
  if (limit > 0.0 && charge.finish > limit) charge.excess = charge.finish - limit;
  return charge;
}

// The whole charge of a route timed as `seg`, serving `load` over `distance`.
inline RouteCharge ChargeOf(const LocalModel& model, int32_t agent, const TimingSegment& seg, double load,
                            double distance) {
  RouteCharge charge = TimingCharge(model, agent, seg);
  if (!charge.exists()) return charge;
  charge.distance = distance;
  charge.load_excess = LoadExcess(model, agent, load);
  return charge;
}

// The weights a broken rule is charged at; +infinity makes the rule hard. The
// price is the route's finishing time, or its distance when that is the
// objective, plus the weighted breaks; either measure is a lower bound of it.
struct Penalties {
  double time_warp = kLsInfinity;
  double excess = kLsInfinity;
  double load = kLsInfinity;
  // Never infinite: a plan is only judged whole, so the construction's hard
  // rules leave broken pairs to the descent (0 there: they go uncharged).
  double link = 0.0;

  double Price(const RouteCharge& charge, bool by_distance = false) const {
    return WithBreaks(by_distance && charge.exists() ? charge.distance : charge.finish, charge);
  }
  // `start` plus the charge's weighted breaks, added in this one order.
  double WithBreaks(double start, const RouteCharge& charge) const {
    if (charge.time_warp > 0.0) start += time_warp * charge.time_warp;
    if (charge.excess > 0.0) start += excess * charge.excess;
    if (charge.load_excess > 0.0) start += load * charge.load_excess;
    if (charge.link > 0.0) start += link * charge.link;
    return start;
  }
};

}  // namespace quarn
