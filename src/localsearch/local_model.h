#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "graph/coordinate_costs.h"
#include "model/missing_cost.h"
#include "records/time_window_map.h"
#include "rules/route_rules.h"

namespace quarn {

constexpr double kLsInfinity = std::numeric_limits<double>::infinity();

// The route rules in flat tables for the improvement phase: per-type arc costs
// (no arc as +infinity), windows, admission by agent and the targets to visit.
class LocalModel {
 public:
  // Arc costs at or above the rules' missing_cost are no arc. `by_distance`:
  // a route is priced by its distance instead of its finishing time.
  LocalModel(const RouteRules& rules, const TimeWindowMap& windows, bool by_distance = false);

  int32_t num_nodes() const { return n_; }
  int32_t num_agents() const { return static_cast<int32_t>(agents_.size()); }
  int32_t num_types() const { return num_types_; }
  const std::vector<int32_t>& customers() const { return customers_; }
  bool IsCustomer(int32_t v) const { return is_customer_[static_cast<size_t>(v)] != 0; }
  bool return_to_end() const { return return_to_end_; }
  const RouteRules& rules() const { return *rules_; }

  int32_t start(int32_t a) const { return agents_[static_cast<size_t>(a)].start; }
  int32_t end(int32_t a) const { return agents_[static_cast<size_t>(a)].end; }
  int32_t type(int32_t a) const { return agents_[static_cast<size_t>(a)].type; }
  double limit(int32_t a) const { return agents_[static_cast<size_t>(a)].limit; }
  bool WithinLimit(int32_t a, double cost) const {
    const double lim = limit(a);
    return !(lim > 0.0 && cost > lim);
  }

  bool Admits(int32_t a, int32_t v) const {
    return admits_[static_cast<size_t>(a) * static_cast<size_t>(n_) + static_cast<size_t>(v)] != 0;
  }
  // The arc cost for a type, +infinity without an arc.
  double TypeArc(int32_t type, int32_t u, int32_t v) const {
    if (u == v) return 0.0;
    if (coordinates_ != nullptr) {
      const double cost = coordinates_->Cost(u, v, type);
      return cost < missing_cost_ ? cost : kLsInfinity;
    }
    return costs_[(static_cast<size_t>(type) * static_cast<size_t>(n_) + static_cast<size_t>(u)) *
                      static_cast<size_t>(n_) +
                  static_cast<size_t>(v)];
  }
  // Travel along a route of agent `a`, as validation prices it: on open routes
  // reaching the agent's own depots costs nothing and is no travel.
  double Travel(int32_t a, int32_t u, int32_t v) const {
    if (u == v) return 0.0;
    const Entry& agent = agents_[static_cast<size_t>(a)];
    if (!return_to_end_ && (v == agent.start || v == agent.end)) return 0.0;
    return TypeArc(agent.type, u, v);
  }
  double earliest(int32_t v) const { return timing_[static_cast<size_t>(v)].earliest; }
  double latest(int32_t v) const { return timing_[static_cast<size_t>(v)].latest; }
  bool has_windows() const { return has_windows_; }
  // The demand a route serving v counts (0 unless capacities are enforced) and
  // the agent's capacity (0: no limit).
  double demand(int32_t v) const { return demand_[static_cast<size_t>(v)]; }
  double capacity(int32_t a) const { return agents_[static_cast<size_t>(a)].capacity; }
  // Some agent has a capacity to keep.
  bool has_capacities() const { return has_capacities_; }
  double service(int32_t v) const { return timing_[static_cast<size_t>(v)].service; }
  bool has_services() const { return has_services_; }
  // Some arc costs less than nothing: a route's clock may then run back, and
  // its finishing time no longer bounds the clock along the way.
  bool has_negative_arcs() const { return negative_arcs_; }
  // The distance of a leg as Travel prices its time; the travel itself without
  // a distance table.
  double Distance(int32_t a, int32_t u, int32_t v) const {
    if (!has_distances_) return Travel(a, u, v);
    if (u == v) return 0.0;
    const Entry& agent = agents_[static_cast<size_t>(a)];
    if (!return_to_end_ && (v == agent.start || v == agent.end)) return 0.0;
    return distances_[(static_cast<size_t>(agent.type) * static_cast<size_t>(n_) + static_cast<size_t>(u)) *
                          static_cast<size_t>(n_) +
                      static_cast<size_t>(v)];
  }
  bool has_distances() const { return has_distances_; }
  bool by_distance() const { return by_distance_; }
  // Whether moves and insertions may be skipped by their travel alone (see
  // TravelBoundsPrice); off only to check that the bounds skip nothing that wins.
  bool travel_bounds() const { return travel_bounds_; }
  void SetTravelBounds(bool on) { travel_bounds_ = on; }
  // The positions every cost is computed from, when no table holds them.
  const CoordinateCosts* coordinates() const { return coordinates_; }
  double missing_cost() const { return missing_cost_; }
  // What leaving each target out costs, by node (+infinity: it must be served);
  // empty when every target must be.
  void SetLeftOutPenalties(std::vector<double> penalties);
  bool has_optional() const { return !left_out_penalty_.empty(); }
  double left_out_penalty(int32_t v) const {
    return left_out_penalty_.empty() ? kLsInfinity : left_out_penalty_[static_cast<size_t>(v)];
  }
  bool IsOptional(int32_t v) const { return left_out_penalty(v) < kLsInfinity; }
  // Inserting v at an objective change of `delta` beats leaving it out.
  bool InsertionPays(int32_t v, double delta) const {
    return left_out_penalty_.empty() || delta < left_out_penalty_[static_cast<size_t>(v)];
  }
  // Target pairs are enforced: routes are timed together (see links.h).
  bool has_links() const { return has_links_; }
  const SequenceRules& sequence() const { return rules_->sequence(); }

 private:
  struct Entry {
    int32_t start = 0;
    int32_t end = 0;
    int32_t type = 0;
    double limit = 0.0;
    double capacity = 0.0;
  };

  const RouteRules* rules_;
  int32_t n_ = 0;
  int32_t num_types_ = 0;
  bool return_to_end_ = true;
  bool has_windows_ = false;
  std::vector<Entry> agents_;
  std::vector<int32_t> customers_;
  std::vector<uint8_t> is_customer_;
  std::vector<uint8_t> admits_;  // agent-major
  std::vector<double> costs_;    // type-major n x n blocks, empty with coordinates_
  const CoordinateCosts* coordinates_ = nullptr;
  double missing_cost_ = kMissingCost;
  // A node's window and service side by side, as a segment of it reads them.
  struct NodeTiming {
    double earliest = -kLsInfinity;
    double latest = kLsInfinity;
    double service = 0.0;
  };
  std::vector<NodeTiming> timing_;  // by node
  std::vector<double> demand_;  // by node
  bool has_capacities_ = false;
  bool has_services_ = false;
  bool negative_arcs_ = false;
  std::vector<double> distances_;  // as costs_, when the rules carry distances
  bool has_distances_ = false;
  bool by_distance_ = false;
  std::vector<double> left_out_penalty_;  // by node, when some target is optional
  bool has_links_ = false;
  bool travel_bounds_ = true;
};

}  // namespace quarn
