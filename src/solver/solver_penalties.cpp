#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "localsearch/local_model.h"
#include "solver/solver.h"

namespace quarn {
namespace {

std::string Shown(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

void CheckPenalty(double penalty, const std::string& what) {
  if (std::isfinite(penalty) && penalty >= 0.0) return;
  throw std::invalid_argument(what + " is " + Shown(penalty) + ": a penalty is a finite number of 0 or more");
}

// What keeps one agent from serving a target alone on its route.
enum class Hindrance { kNone, kWindow, kLength, kOther };

}  // namespace

bool Solver::StatesPenalties(const Problem& problem, const Options& options) {
  if (options.default_penalty) return true;
  for (const Node& node : problem.nodes()) {
    if (node.penalty) return true;
  }
  return false;
}

// Call after the node and agent tables: a depot may not be left out.
void Solver::BuildLeftOutPenalties(const Problem& problem, const Options& options) {
  left_out_penalty_.clear();
  if (!StatesPenalties(problem, options)) return;
  if (options.default_penalty) CheckPenalty(*options.default_penalty, "the option \"default_penalty\"");
  std::vector<uint8_t> depot(points_.size(), 0);
  for (int32_t v : starts_) depot[static_cast<size_t>(v)] = 1;
  for (int32_t v : ends_) depot[static_cast<size_t>(v)] = 1;
  left_out_penalty_.assign(points_.size(), kLsInfinity);
  size_t index = 0;
  for (const Node& node : problem.nodes()) {
    const bool is_depot = node.type == NodeType::DEPOT || depot[index] != 0;
    if (node.penalty) {
      const std::string what = "node " + std::to_string(node.id);
      if (is_depot) throw std::invalid_argument(what + " is a depot: a depot cannot carry a penalty");
      CheckPenalty(*node.penalty, what + "'s penalty");
      left_out_penalty_[index] = *node.penalty;
    } else if (!is_depot && options.default_penalty) {
      left_out_penalty_[index] = *options.default_penalty;
    }
    ++index;
  }
  // Without a target to leave out the search may run as ever.
  if (std::none_of(left_out_penalty_.begin(), left_out_penalty_.end(), [](double p) { return p < kLsInfinity; })) {
    left_out_penalty_.clear();
  }
}

// Cheap tests only: an agent alone, from its start to the target and on to its end.
std::string Solver::LeftOutReason(int32_t v) const {
  int32_t admitted = 0;
  int32_t windows = 0;
  int32_t lengths = 0;
  for (int32_t a = 0; a < static_cast<int32_t>(num_agents_); ++a) {
    if (!rules_.Admits(a, v)) continue;
    ++admitted;
    const int32_t start = starts_[static_cast<size_t>(a)];
    const int32_t end = ends_[static_cast<size_t>(a)];
    const int32_t type = agents_[static_cast<size_t>(a)].type;
    auto leg = [&](int32_t from, int32_t to, double& t) {
      const bool free_stop = !return_to_end_ && (to == start || to == end);
      const std::optional<double> arc = rules_.Arc(from, to, type);
      if (!free_stop && from != to && (!arc || *arc >= missing_cost_)) return false;
      t += rules_.RouteTravel(from, to, a);
      return true;
    };
    double t = 0.0;
    Hindrance hindrance = Hindrance::kNone;
    if (!rules_.Depart(a, t)) {
      hindrance = Hindrance::kWindow;
    } else if (!leg(start, v, t)) {
      hindrance = Hindrance::kOther;
    } else if (!rules_.Serve(v, t, t)) {
      hindrance = Hindrance::kWindow;
    } else if (!leg(v, end, t)) {
      hindrance = Hindrance::kOther;
    } else if (!rules_.Arrive(end, t, t)) {
      hindrance = Hindrance::kWindow;
    } else {
      const double limit = agents_[static_cast<size_t>(a)].time_limit;
      if (limit > 0.0 && t > limit) hindrance = Hindrance::kLength;
    }
    if (hindrance == Hindrance::kNone || hindrance == Hindrance::kOther) return "";
    if (hindrance == Hindrance::kWindow) ++windows;
    if (hindrance == Hindrance::kLength) ++lengths;
  }
  if (admitted == 0) return "no agent type may visit it";
  if (windows == admitted) return "no window reachable";
  return "the length limit";
}

void Solver::ExplainLeftOut(Result& result) const {
  result.unassigned_reasons.clear();
  for (int32_t v : result.unassigned) result.unassigned_reasons.push_back(LeftOutReason(v));
}

}  // namespace quarn
