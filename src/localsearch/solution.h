#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "localsearch/local_model.h"
#include "localsearch/timing_segment.h"

namespace quarn {

// One agent's route: its full path (start, targets, final depot) with the timing
// of every prefix and suffix, the travel summed both ways along it, and (built
// when first read) the price of the route without each single target.
struct LsRoute {
  int32_t agent = 0;
  std::vector<int32_t> path;
  std::vector<TimingSegment> prefix;  // prefix[i]: path[0..i]
  std::vector<TimingSegment> suffix;  // suffix[i]: path[i..end]
  std::vector<double> forward;        // forward[i]: travel along path[0..i]
  std::vector<double> backward;       // backward[i]: travel along path[i..0] walked backwards
  // legs[i], back_legs[i]: the travel from path[i - 1] to path[i] and back (0 at
  // i = 0), kept so that an insertion re-times the route without asking the
  // model for arcs it did not change.
  std::vector<double> legs;
  std::vector<double> back_legs;
  // The charge's walk after path[i]: its clock and the time warp so far; and the
  // first position the agent may not visit or reach (the length when none).
  std::vector<double> clock;
  std::vector<double> warps;
  size_t admitted = 0;
  // Most routes are re-timed far more often than these are read, so they are
  // built on first read (LsSolution::RemovalPrice, RouteBlocks) and dropped by
  // every change: removal[i], the price without path[i], priced one position at
  // a time and valid while removal_epoch[i] equals epoch; with windows,
  // blocks[l - 1][i] summarises path[i .. i + 2^l - 1], so any stretch is the
  // concatenation of O(log length) blocks. A solution is read by one thread at
  // a time, so the lazy fill needs no lock.
  mutable std::vector<double> removal;
  mutable std::vector<uint64_t> removal_epoch;
  mutable std::vector<std::vector<TimingSegment>> blocks;
  uint64_t epoch = 1;
  mutable bool blocks_ready = false;
  // The path as the caches last saw it: Refresh re-times only from the first
  // position that differs and keeps the suffixes and legs of the common tail.
  std::vector<int32_t> timed_path;
  RouteCharge charge;
  double cost = 0.0;                  // the penalised price; +infinity without arcs or admission
  // load[i]: demand of path[0..i-1], k + 1 sums; empty unless loads or
  // distances are priced (zeros without capacities).
  std::vector<double> load;
  // Filled only where the model has them: served[i], the service along
  // path[0..i]; the distance sums as forward and backward.
  std::vector<double> served;
  std::vector<double> forward_distance;
  std::vector<double> backward_distance;
  int32_t paired = 0;  // targets in some pair: a move here is priced by the links
  RouteCharge own;     // with links: the route's charge as if no pair made it wait, a lower bound
  bool feasible() const { return charge.feasible() && cost < kLsInfinity; }
  int32_t last() const { return static_cast<int32_t>(path.size()) - 1; }
  int32_t targets() const { return static_cast<int32_t>(path.size()) - 2; }
};

// Routes of all agents plus where every target sits; targets not on any route
// are unassigned.
class LsSolution {
 public:
  // Windows and length limits are hard until SetPenalties makes them soft.
  explicit LsSolution(const LocalModel& model);

  const LocalModel& model() const { return *model_; }
  const std::vector<LsRoute>& routes() const { return routes_; }
  const LsRoute& route(int32_t r) const { return routes_[static_cast<size_t>(r)]; }
  std::vector<int32_t>& path(int32_t r) { return routes_[static_cast<size_t>(r)].path; }
  int32_t route_of(int32_t v) const { return route_of_[static_cast<size_t>(v)]; }
  int32_t pos_of(int32_t v) const { return pos_of_[static_cast<size_t>(v)]; }
  const std::vector<int32_t>& unassigned() const { return unassigned_; }
  // As of the last CollectUnassigned: the penalties of the optional targets left
  // out, and how many targets that must be served are not.
  double left_out() const { return left_out_; }
  int32_t required_missing() const { return required_missing_; }
  int32_t num_routes() const { return static_cast<int32_t>(routes_.size()); }

  // Sets agent r's final depot (its end, or its start on open routes).
  void SetFinalDepot(int32_t r, int32_t depot);
  // Recomputes the caches of route r after its path was edited; with links every
  // route's timing too (see Relink). Does nothing during a trial.
  void Refresh(int32_t r);
  // Puts target v before path[gap] of route r and refreshes the route, re-timing
  // only what the new node changes (the caches come out as Refresh's, to the bit).
  void Insert(int32_t r, int32_t gap, int32_t v);
  // The price of route r without its target at position `pos`; +infinity where
  // that route cannot exist.
  double RemovalPrice(int32_t r, int32_t pos) const;
  // A trial edits paths to price a move from them and restores them after;
  // the caches stay as they were.
  void BeginTrial() { trial_ = true; }
  void EndTrial() { trial_ = false; }
  void RefreshAll();
  // Removes target v from its route (the route's caches are left stale until Refresh).
  void Detach(int32_t v);
  void MarkUnassigned(int32_t v);
  // Rebuilds the unassigned list from the routes.
  void CollectUnassigned();

  const Penalties& penalties() const { return penalties_; }
  // Re-prices every route under new weights, from the cached charges.
  void SetPenalties(const Penalties& penalties);

  double sum() const { return sum_; }
  double max() const { return top_[0]; }
  // The largest cost among routes other than r1 and r2.
  double MaxExcluding(int32_t r1, int32_t r2) const;
  // Every route keeps every rule (no time warp, no excess of length or load).
  bool feasible() const;

 private:
  void RecomputeTotals();
  // Re-times route r from its legs: prefixes from position `from` on, suffixes up
  // to `to`, the rest as they are; then its charge, price and totals.
  void Retime(int32_t r, size_t from, size_t to);
  // Retimes all routes together, the pairs' waits and breaks in their charges.
  void Relink();
  // With kTally the loads and distances are priced too.
  template <bool kTally>
  double PriceRemoval(const LsRoute& route, size_t p) const;
  // The running load, service and distance sums the model needs.
  void FillSums(LsRoute& route) const;
  // The route's running distance: the travel's without a distance table.
  const std::vector<double>& Distances(const LsRoute& route) const;

  const LocalModel* model_;
  Penalties penalties_;
  std::vector<LsRoute> routes_;
  std::vector<int32_t> route_of_;
  std::vector<int32_t> pos_of_;
  std::vector<int32_t> unassigned_;
  double left_out_ = 0.0;
  int32_t required_missing_ = 0;
  double sum_ = 0.0;
  double top_[3] = {0.0, 0.0, 0.0};
  int32_t top_route_[3] = {-1, -1, -1};
  bool trial_ = false;
};

// The blocks of a route, built on first read (empty without windows).
const std::vector<std::vector<TimingSegment>>& RouteBlocks(const LocalModel& model, const LsRoute& route);

// The demand of path[i..j], i <= j, of a route with running loads.
inline double LoadBetween(const LsRoute& route, int32_t i, int32_t j) {
  return route.load[static_cast<size_t>(j) + 1] - route.load[static_cast<size_t>(i)];
}

// A route's price is at least its travel and service (waiting and weighted
// breaks only add) unless time travelled back is charged at less than its own
// length, and both follow for an edited route from the running sums in O(1).
// Where that holds, a spot or move that cannot win on them is not priced in
// full. Pairs are priced apart, and a distance measure is not bounded by the
// travel. With windows only routes r1 and r2 (-1: none) that nowhere travel
// back in time are bounded: where they do, a move's gain is mostly the warp it
// removes, which the travel does not see, and the bound only costs.
inline bool TravelBoundsPrice(const LsSolution& s, int32_t r1, int32_t r2 = -1) {
  const LocalModel& model = s.model();
  if (!model.travel_bounds() || model.by_distance() || model.has_links()) return false;
  if (!model.has_windows()) return true;
  return s.penalties().time_warp >= 1.0 && !(s.route(r1).charge.time_warp > 0.0) &&
         (r2 < 0 || !(s.route(r2).charge.time_warp > 0.0));
}
// The bound from a travel computed in another order than the full price: lowered
// by far more than the two sums' rounding, so what it rejects the price would too.
inline double TravelBound(double travel) { return travel - 1e-9 * (std::abs(travel) + 1.0); }
// The service along path[i..j] of `route` (0 where j < i or without services).
inline double ServiceBetween(const LocalModel& model, const LsRoute& route, int32_t i, int32_t j) {
  if (!model.has_services() || j < i) return 0.0;
  const auto fi = static_cast<size_t>(i);
  const auto fj = static_cast<size_t>(j);
  return fi == 0 ? route.served[fj] : route.served[fj] - route.served[fi - 1];
}
inline double RouteService(const LocalModel& model, const LsRoute& route) {
  return ServiceBetween(model, route, 0, route.last());
}
// The route's travel without the arcs between positions i < j.
inline double TravelOutside(const LsRoute& route, int32_t i, int32_t j) {
  return route.forward.back() - (route.forward[static_cast<size_t>(j)] - route.forward[static_cast<size_t>(i)]);
}
// The travel of path[i..j] of `route` (backwards when i > j) as `agent` drives it:
// from the travel sums when its type drives the route's, else arc by arc.
double WalkedStretchTravel(const LocalModel& model, const LsRoute& route, int32_t agent, int32_t i, int32_t j);
inline double StretchTravel(const LocalModel& model, const LsRoute& route, int32_t agent, int32_t i, int32_t j) {
  if (route.agent != agent && model.type(route.agent) != model.type(agent)) {
    return WalkedStretchTravel(model, route, agent, i, j);
  }
  const auto fi = static_cast<size_t>(i);
  const auto fj = static_cast<size_t>(j);
  return i <= j ? route.forward[fj] - route.forward[fi] : route.backward[fi] - route.backward[fj];
}
// A lower bound of the price of `route` with path[i+1..j-1] (i < j; nothing
// when j = i + 1) replaced by a stretch from `first` to `last` whose own travel
// and service are `inner` and `service` (first < 0: by nothing), where
// TravelBoundsPrice holds.
inline double BoundReplaced(const LocalModel& model, const LsRoute& route, int32_t i, int32_t j, int32_t first,
                            int32_t last, double inner, double service) {
  const int32_t agent = route.agent;
  const int32_t a = route.path[static_cast<size_t>(i)];
  const int32_t b = route.path[static_cast<size_t>(j)];
  const double joins =
      first < 0 ? model.Travel(agent, a, b) : model.Travel(agent, a, first) + inner + model.Travel(agent, last, b);
  return TravelBound(TravelOutside(route, i, j) + joins + RouteService(model, route) -
                     ServiceBetween(model, route, i + 1, j - 1) + service);
}
// The same with the stretch path[k..l] of `other` (backwards when k > l), as
// `route`'s agent drives it.
inline double BoundReplacedBy(const LocalModel& model, const LsRoute& route, int32_t i, int32_t j,
                              const LsRoute& other, int32_t k, int32_t l) {
  return BoundReplaced(model, route, i, j, other.path[static_cast<size_t>(k)], other.path[static_cast<size_t>(l)],
                       StretchTravel(model, other, route.agent, k, l),
                       ServiceBetween(model, other, std::min(k, l), std::max(k, l)));
}

// Prices a route assembled from pieces of cached routes and single nodes for one agent.
class RouteBuilder {
 public:
  // Stretches shorter than this are walked node by node.
  static constexpr int32_t kWalkedStretch = 8;

  RouteBuilder(const LsSolution& s, int32_t agent)
      : model_(s.model()),
        penalties_(s.penalties()),
        agent_(agent),
        tally_(s.model().has_capacities() || s.model().by_distance()),
        by_distance_(s.model().by_distance()) {}

  // The prefix path[0..i] of `route` (which must be this agent's own route).
  RouteBuilder& Prefix(const LsRoute& route, int32_t i) {
    seg_ = route.prefix[static_cast<size_t>(i)];
    ok_ = true;
    if (tally_) TallyPrefix(route, i);
    return *this;
  }
  RouteBuilder& Node(int32_t v) {
    if (!ok_) return *this;
    const int32_t from = seg_.last;
    Step(v);
    if (tally_) TallyNode(from, v);
    return *this;
  }
  // path[i..j] of `route`, backwards when i > j (so never empty: a node
  // repeated would count its service twice): from the travel sums in O(1)
  // where no window can make waiting or warp, walked otherwise.
  RouteBuilder& Range(const LsRoute& route, int32_t i, int32_t j) {
    if (!ok_) return *this;
    const int32_t from = seg_.last;
    if (!model_.has_windows() && SameTravel(route)) {
      const auto fi = static_cast<size_t>(i);
      const auto fj = static_cast<size_t>(j);
      const double travel = i <= j ? route.forward[fj] - route.forward[fi] : route.backward[fi] - route.backward[fj];
      if (travel < kLsInfinity) {
        const double stretch =
            model_.has_services() ? travel + ServiceWithin(route, std::min(fi, fj), std::max(fi, fj)) : travel;
        ok_ = AppendTravel(model_.Travel(agent_, from, route.path[fi]), stretch, route.path[fj]);
        if (tally_) TallyRange(route, from, i, j);
        return *this;
      }
    }
    if (i <= j && j - i >= kWalkedStretch && SameTravel(route) && model_.has_windows()) {
      const std::vector<std::vector<TimingSegment>>& blocks = RouteBlocks(model_, route);
      for (int32_t p = i; p <= j && ok_;) {
        size_t level = 0;
        while (level < blocks.size() && p + (int32_t{2} << level) - 1 <= j) ++level;
        const TimingSegment& block = level == 0 ? TimingSegment::Of(model_, route.path[static_cast<size_t>(p)])
                                                : blocks[level - 1][static_cast<size_t>(p)];
        ok_ = Join(model_, agent_, seg_, block, seg_);
        p += int32_t{1} << level;
      }
      if (tally_) TallyRange(route, from, i, j);
      return *this;
    }
    if (i <= j) {
      for (int32_t p = i; p <= j && ok_; ++p) Step(route.path[static_cast<size_t>(p)]);
    } else {
      for (int32_t p = i; p >= j && ok_; --p) Step(route.path[static_cast<size_t>(p)]);
    }
    if (tally_) TallyRange(route, from, i, j);
    return *this;
  }
  // path[i..] of `route` closed by this agent's final depot `depot`: the cached
  // suffix when it means the same for this agent, else walked.
  RouteBuilder& Suffix(const LsRoute& route, int32_t i, int32_t depot) {
    if (!ok_) return *this;
    if (SameTravel(route) && (route.agent == agent_ || route.path.back() == depot)) {
      const int32_t from = seg_.last;
      ok_ = Join(model_, agent_, seg_, route.suffix[static_cast<size_t>(i)], seg_);
      if (tally_) TallyRange(route, from, i, route.last());
      return *this;
    }
    return WalkedSuffix(route, i, depot);
  }
  double Cost() const {
    if (!ok_) return kLsInfinity;
    if (!tally_) return penalties_.Price(TimingCharge(model_, agent_, seg_));
    return penalties_.Price(ChargeOf(model_, agent_, seg_, load_, distance_), by_distance_);
  }
  // The route's measure so far (duration or distance); a lower bound of its price.
  double Travel() const {
    if (!ok_) return kLsInfinity;
    return by_distance_ ? distance_ : seg_.duration;
  }

 private:
  // Suffix's walk, out of line so that its common path stays inlined.
  RouteBuilder& WalkedSuffix(const LsRoute& route, int32_t i, int32_t depot);
  // Node(v) without the tally.
  void Step(int32_t v) { ok_ = model_.Admits(agent_, v) && Extend(model_, agent_, seg_, v); }
  // Concat(seg_, travel, a windowless stretch of duration `stretch` ending at
  // `last`) where no window exists: no waiting, no warp and the bounds stay
  // infinite, so only the sum remains, added in Concat's order.
  bool AppendTravel(double travel, double stretch, int32_t last) {
    if (!(travel < kLsInfinity) || seg_.broken()) return false;
    seg_.duration = seg_.duration + stretch + travel + 0.0;
    seg_.last = last;
    return true;
  }
  // Another route's cached stretches mean the same for this agent: between
  // targets only the type's arcs count (the open routes' free depots are ends).
  bool SameTravel(const LsRoute& route) const {
    return route.agent == agent_ || model_.type(route.agent) == model_.type(agent_);
  }
  static double ServiceWithin(const LsRoute& route, size_t lo, size_t hi) {
    return lo == 0 ? route.served[hi] : route.served[hi] - route.served[lo - 1];
  }
  // The load and distance, kept beside the timing only where a rule or the
  // objective reads them (the load is then summed even without capacities, as
  // zeros, to spare a test).
  void TallyPrefix(const LsRoute& route, int32_t i) {
    load_ = route.load[static_cast<size_t>(i) + 1];
    if (by_distance_) distance_ = PrefixDistance(route, i);
  }
  void TallyNode(int32_t from, int32_t v) {
    load_ += model_.demand(v);
    if (by_distance_) distance_ += model_.Distance(agent_, from, v);
  }
  // path[i..j] of `route` (backwards when i > j) reached from node `from`.
  void TallyRange(const LsRoute& route, int32_t from, int32_t i, int32_t j) {
    load_ += LoadBetween(route, std::min(i, j), std::max(i, j));
    if (by_distance_) distance_ += RangeDistance(route, from, i, j);
  }
  // Out of line: the distances are read only under the distance objective.
  double PrefixDistance(const LsRoute& route, int32_t i) const;
  // The leg from `from` and the stretch: from the route's sums where its
  // agent's type drives like this one's, else walked.
  double RangeDistance(const LsRoute& route, int32_t from, int32_t i, int32_t j) const;

  const LocalModel& model_;
  const Penalties& penalties_;
  int32_t agent_;
  bool tally_;
  bool by_distance_;
  TimingSegment seg_;
  bool ok_ = false;
  double load_ = 0.0;
  double distance_ = 0.0;
};

}  // namespace quarn
