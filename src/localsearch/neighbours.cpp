#include "localsearch/neighbours.h"

#include <algorithm>
#include <utility>

#include "localsearch/point_grid.h"

namespace quarn {
namespace {

// The first `keep` entries of `order` in ascending order, as a full sort would
// leave them: entries are (distance, index) pairs, so no two compare equal.
void SortPrefix(std::vector<std::pair<double, int32_t>>& order, size_t keep) {
  if (keep < order.size()) {
    std::nth_element(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep), order.end());
    order.resize(keep);
  }
  std::sort(order.begin(), order.end());
}

constexpr uint32_t kStopCheckEvery = 64;

// The least wait and the least time warp weighted as in the correlation
// measure of Vidal et al.'s hybrid genetic search.
constexpr double kWaitWeight = 0.2;
constexpr double kWarpWeight = 1.0;

// What going from `from` to `to` costs in time beyond the travel: the least
// wait, and the least time warp, any start within the windows can give.
double OrderGap(const LocalModel& model, int32_t type, int32_t from, int32_t to) {
  const double arc = model.TypeArc(type, from, to);
  if (!(arc < kLsInfinity)) return kLsInfinity;
  const double leave_early = model.earliest(from) + model.service(from) + arc;
  const double leave_late = model.latest(from) + model.service(from) + arc;
  return kWaitWeight * std::max(model.earliest(to) - leave_late, 0.0) +
         kWarpWeight * std::max(leave_early - model.latest(to), 0.0);
}

}  // namespace

Neighbours::Neighbours(const LocalModel& model, int32_t k, const StopCheck* stop, bool by_time)
    : n_(static_cast<size_t>(model.num_nodes())), by_time_(by_time && model.has_windows()) {
  near_.resize(static_cast<size_t>(model.num_types()) * n_);
  adjacent_.resize(n_);
  const size_t near_length = static_cast<size_t>(std::max(k, 0));
  if (model.coordinates() != nullptr) {
    BuildByGrid(model, near_length, stop);
  } else {
    BuildByPairs(model, near_length, stop);
  }
}

// The travel both ways; ranked by time, plus the gap of the better order, so
// that lists do not fill up with targets served hours apart. The gap is never
// negative, so the grid's travel bound still holds.
double Neighbours::Proximity(const LocalModel& model, int32_t type, int32_t u, int32_t v) const {
  const double both = model.TypeArc(type, u, v) + model.TypeArc(type, v, u);
  if (!by_time_ || !(both < kLsInfinity)) return both;
  return both + std::min(OrderGap(model, type, u, v), OrderGap(model, type, v, u));
}

void Neighbours::BuildByPairs(const LocalModel& model, size_t near_length, const StopCheck* stop) {
  uint32_t built = 0;
  const std::vector<int32_t>& targets = model.customers();
  std::vector<std::pair<double, int32_t>> order;
  std::vector<double> nearest(targets.size());
  for (int32_t u : targets) {
    if (stop != nullptr && ++built % kStopCheckEvery == 0 && stop->Expired()) return;
    std::fill(nearest.begin(), nearest.end(), kLsInfinity);
    for (int32_t t = 0; t < model.num_types(); ++t) {
      order.clear();
      for (size_t i = 0; i < targets.size(); ++i) {
        const int32_t v = targets[i];
        if (v == u) continue;
        const double d = Proximity(model, t, u, v);
        nearest[i] = std::min(nearest[i], d);
        if (d < kLsInfinity) order.emplace_back(d, v);
      }
      SortPrefix(order, near_length);
      std::vector<int32_t>& list = near_[static_cast<size_t>(t) * n_ + static_cast<size_t>(u)];
      for (const auto& entry : order) list.push_back(entry.second);
    }
    order.clear();
    for (size_t i = 0; i < targets.size(); ++i) {
      if (targets[i] != u) order.emplace_back(nearest[i], targets[i]);
    }
    SortPrefix(order, kAdjacentLength);
    for (const auto& entry : order) adjacent_[static_cast<size_t>(u)].push_back(entry.second);
  }
}


// Every metric grows with the plane distance, so a point at least `beyond` away
// costs at least CostAtLeast(beyond) each way; the rings stop once the list's
// last entry is strictly cheaper than that (a tie could still enter by index).
void Neighbours::BuildByGrid(const LocalModel& model, size_t near_length, const StopCheck* stop) {
  const CoordinateCosts& positions = *model.coordinates();
  const std::vector<int32_t>& targets = model.customers();
  const PointGrid grid(targets, positions.xs(), positions.ys());
  const auto types = static_cast<size_t>(model.num_types());
  const double missing = model.missing_cost();
  // The least price of both ways for a point beyond `reach`, +infinity when every
  // such arc is missing.
  auto least_beyond = [&](int32_t t, double reach) {
    if (!positions.HasRule(t)) return kLsInfinity;
    const double cost = positions.CostAtLeast(t, reach);
    return cost < missing ? 2.0 * cost : kLsInfinity;
  };
  // The `keep`-th smallest of `values` is below `bound`. The near lists hold
  // arcs only, so with fewer values they are settled once nothing beyond has an
  // arc (`short_ok`); the adjacent list holds every target, missing arcs last.
  auto settled = [](std::vector<double> values, size_t keep, double bound, bool short_ok) {
    if (keep == 0) return true;
    if (values.size() < keep) return short_ok && bound == kLsInfinity;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(keep - 1), values.end());
    return values[keep - 1] < bound;
  };
  uint32_t built = 0;
  std::vector<int32_t> found;
  std::vector<int32_t> others;
  std::vector<std::vector<double>> price(types);  // by type, per entry of `others`
  std::vector<double> nearest;
  std::vector<std::pair<double, int32_t>> order;
  for (int32_t u : targets) {
    if (stop != nullptr && ++built % kStopCheckEvery == 0 && stop->Expired()) return;
    const double ux = positions.x(u);
    const double uy = positions.y(u);
    others.clear();
    nearest.clear();
    for (auto& list : price) list.clear();
    for (int32_t ring = 0;; ++ring) {
      found.clear();
      if (!grid.VisitRing(ux, uy, ring, found)) break;
      for (int32_t v : found) {
        if (v == u) continue;
        others.push_back(v);
        double best = kLsInfinity;
        for (size_t t = 0; t < types; ++t) {
          const auto type = static_cast<int32_t>(t);
          const double d = Proximity(model, type, u, v);
          price[t].push_back(d);
          best = std::min(best, d);
        }
        nearest.push_back(best);
      }
      // A hair less than the ring's reach, against rounding in the distances.
      const double reach = grid.Beyond(ux, uy, ring) * (1.0 - 1e-9);
      bool done = true;
      double adjacent_bound = kLsInfinity;
      for (size_t t = 0; t < types && done; ++t) {
        const double bound = least_beyond(static_cast<int32_t>(t), reach);
        adjacent_bound = std::min(adjacent_bound, bound);
        if (!positions.HasRule(static_cast<int32_t>(t))) continue;
        std::vector<double> finite;
        for (double d : price[t]) {
          if (d < kLsInfinity) finite.push_back(d);
        }
        done = settled(std::move(finite), near_length, bound, true);
      }
      if (done && settled(nearest, kAdjacentLength, adjacent_bound, false)) break;
    }
    for (size_t t = 0; t < types; ++t) {
      order.clear();
      for (size_t i = 0; i < others.size(); ++i) {
        if (price[t][i] < kLsInfinity) order.emplace_back(price[t][i], others[i]);
      }
      SortPrefix(order, near_length);
      std::vector<int32_t>& list = near_[t * n_ + static_cast<size_t>(u)];
      for (const auto& entry : order) list.push_back(entry.second);
    }
    order.clear();
    for (size_t i = 0; i < others.size(); ++i) order.emplace_back(nearest[i], others[i]);
    SortPrefix(order, kAdjacentLength);
    for (const auto& entry : order) adjacent_[static_cast<size_t>(u)].push_back(entry.second);
  }
}

}  // namespace quarn
