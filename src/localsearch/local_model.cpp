#include "localsearch/local_model.h"

#include <algorithm>
#include <utility>

namespace quarn {

LocalModel::LocalModel(const RouteRules& rules, const TimeWindowMap& windows, bool by_distance)
    : rules_(&rules),
      n_(static_cast<int32_t>(rules.num_nodes())),
      return_to_end_(rules.return_to_end()),
      coordinates_(rules.coordinate_costs()),
      missing_cost_(rules.missing_cost()),
      by_distance_(by_distance),
      has_links_(!rules.sequence().empty()) {
  const size_t n = static_cast<size_t>(n_);
  const size_t m = rules.num_agents();
  agents_.resize(m);
  for (size_t a = 0; a < m; ++a) {
    Entry& entry = agents_[a];
    entry.start = a < rules.starts().size() ? rules.starts()[a] : -1;
    entry.end = a < rules.ends().size() ? rules.ends()[a] : -1;
    // An agent without a known type is admitted nowhere; its costs are never read.
    entry.type = std::max(rules.agents()[a].type, 0);
    entry.limit = rules.agents()[a].time_limit;
    entry.capacity = rules.Capacity(static_cast<int32_t>(a));
    has_capacities_ = has_capacities_ || entry.capacity > 0.0;
    num_types_ = std::max(num_types_, entry.type + 1);
  }
  is_customer_.assign(n, 0);
  for (int32_t v = 0; v < n_; ++v) {
    if (rules.IsStartDepot(v) || rules.IsEndDepot(v)) continue;
    is_customer_[static_cast<size_t>(v)] = 1;
    customers_.push_back(v);
  }
  admits_.assign(m * n, 0);
  for (size_t a = 0; a < m; ++a) {
    for (int32_t v = 0; v < n_; ++v) {
      admits_[a * n + static_cast<size_t>(v)] = rules.Admits(static_cast<int32_t>(a), v) ? 1 : 0;
    }
  }
  // Costs from positions are computed as they are read.
  if (coordinates_ == nullptr) costs_.assign(static_cast<size_t>(num_types_) * n * n, kLsInfinity);
  for (int32_t t = 0; t < num_types_ && coordinates_ == nullptr; ++t) {
    for (int32_t u = 0; u < n_; ++u) {
      for (int32_t v = 0; v < n_; ++v) {
        if (u == v) continue;
        const std::optional<double> arc = rules.Arc(u, v, t);
        if (arc && *arc < rules.missing_cost()) {
          costs_[(static_cast<size_t>(t) * n + static_cast<size_t>(u)) * n + static_cast<size_t>(v)] = *arc;
          negative_arcs_ = negative_arcs_ || *arc < 0.0;
        }
      }
    }
  }
  demand_.assign(n, 0.0);
  for (int32_t v = 0; v < n_ && has_capacities_; ++v) demand_[static_cast<size_t>(v)] = rules.Demand(v);
  has_services_ = rules.has_services();
  timing_.assign(n, NodeTiming{});
  if (has_services_) {
    for (int32_t v = 0; v < n_; ++v) timing_[static_cast<size_t>(v)].service = rules.Service(v);
  }
  if (const DenseCostTable* table = rules.distance_table()) {
    has_distances_ = true;
    distances_.assign(static_cast<size_t>(num_types_) * n * n, 0.0);
    for (int32_t t = 0; t < num_types_; ++t) {
      for (int32_t u = 0; u < n_; ++u) {
        for (int32_t v = 0; v < n_; ++v) {
          if (u == v) continue;
          distances_[(static_cast<size_t>(t) * n + static_cast<size_t>(u)) * n + static_cast<size_t>(v)] =
              table->Arc(u, v, t).value_or(0.0);
        }
      }
    }
  }
  for (const auto& [node, window] : windows) {
    if (node < 0 || node >= n_) continue;
    timing_[static_cast<size_t>(node)].earliest = window.first;
    timing_[static_cast<size_t>(node)].latest = window.second;
    has_windows_ = true;
  }
}

void LocalModel::SetLeftOutPenalties(std::vector<double> penalties) {
  left_out_penalty_ = std::move(penalties);
  bool optional = false;
  for (int32_t v : customers_) {
    if (static_cast<size_t>(v) >= left_out_penalty_.size()) break;
    optional = optional || left_out_penalty_[static_cast<size_t>(v)] < kLsInfinity;
  }
  left_out_penalty_.resize(static_cast<size_t>(n_), kLsInfinity);
  if (!optional) left_out_penalty_.clear();
}

}  // namespace quarn
