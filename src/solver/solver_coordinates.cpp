#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/checked_at.h"
#include "solver/solver.h"

namespace quarn {

// Only the phase runs beyond the exact search's reach, and it reads costs through
// the rules: with every type's costs a rule, no table of the square is needed.
bool Solver::CoordinatesOnly(const Problem& problem, const Options& options) const {
  return options.improve && problem.nodes().size() > static_cast<size_t>(VisitedSet::kCapacity) &&
         !problem.cost_rules().empty() && problem.cost_matrices().empty() &&
         problem.distance_matrices().empty();
}

void Solver::BuildCoordinateCosts(const Problem& problem) {
  coordinates_ = CoordinateCosts();
  if (problem.cost_rules().empty()) return;
  std::vector<std::optional<CostRule>> rules(static_cast<size_t>(num_types_));
  for (const auto& entry : problem.cost_rules()) {
    const std::string& type_name = entry.first;
    const int32_t type = CheckedAt(type_index_, type_name, [&type_name] {
      return "a cost rule is given for type \"" + type_name + "\", which no agent has";
    });
    rules[static_cast<size_t>(type)] = entry.second;
  }
  std::vector<double> x;
  std::vector<double> y;
  x.reserve(problem.nodes().size());
  y.reserve(problem.nodes().size());
  for (const Node& node : problem.nodes()) {
    // A document cannot hold NaN or an infinity; positions set in code are held to that.
    if (!std::isfinite(node.position.x) || !std::isfinite(node.position.y)) {
      throw std::invalid_argument("node " + std::to_string(node.id) +
                                  " has a position that is not finite, and a cost rule reads positions");
    }
    x.push_back(node.position.x);
    y.push_back(node.position.y);
  }
  double span = 0.0;
  if (!x.empty()) {
    const auto [x_low, x_high] = std::minmax_element(x.begin(), x.end());
    const auto [y_low, y_high] = std::minmax_element(y.begin(), y.end());
    span = std::hypot(*x_high - *x_low, *y_high - *y_low);
  }
  coordinates_ = CoordinateCosts(std::move(x), std::move(y), std::move(rules), missing_cost_);
  if (!coordinates_only_) return;  // the table built from the rules warns as a matrix's does
  // No table is walked, so the widest span of the positions stands in for it.
  for (int32_t type = 0; type < num_types_; ++type) {
    if (coordinates_.HasRule(type) && coordinates_.CostAtLeast(type, span) >= missing_cost_) {
      diagnostics_.Err("[warning] the costs of type \"", problem.type_names()[static_cast<size_t>(type)],
                       "\" reach missing_cost across the instance: such arcs count as no arc; raise ",
                       "\"missing_cost\" if they are real costs");
    }
  }
}

// The default road keeps the search's own timer from the start of solve; with
// the phase, the limit bounds the whole call on a monotonic wall clock.
void Solver::InstallDeadline() {
  if (!improve_) {
    stop_.SetDeadline([this] { return timer_.GetDuration(); }, time_limit_);
    return;
  }
  const std::chrono::steady_clock::time_point origin = clock_origin_;
  stop_.SetDeadline(
      [origin] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count(); },
      time_limit_);
}

}  // namespace quarn
