#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "solver/solver.h"

namespace quarn {

void Solver::BuildSequence(const Problem& problem, const Options& options) {
  sequence_.clear();
  if (!options.enforce_sequence) return;
  std::vector<uint32_t> ids;
  ids.reserve(points_.size());
  for (const Point& point : points_) ids.push_back(point.id);
  auto index = [&](uint64_t id) {
    const auto found = node_index_.find(id);
    if (found == node_index_.end()) {
      throw std::invalid_argument("a sequence pair names node " + std::to_string(id) + ", which is no node id");
    }
    const auto v = static_cast<int32_t>(found->second);
    for (size_t a = 0; a < starts_.size(); ++a) {
      if (starts_[a] == v || ends_[a] == v) {
        throw std::invalid_argument("a sequence pair names node " + std::to_string(id) +
                                    ", a depot: pairs join targets");
      }
    }
    return v;
  };
  const std::pair<const std::vector<NodePair>*, PairKind> lists[] = {
      {&problem.precedence_pairs, PairKind::kPlain},
      {&problem.same_pairs, PairKind::kSame},
      {&problem.diff_pairs, PairKind::kDiff}};
  for (const auto& [list, kind] : lists) {
    for (const NodePair& pair : *list) sequence_.push_back(IndexPair{index(pair.first), index(pair.second), kind});
  }
  CheckPairs(points_.size(), sequence_, ids);
  if (!sequence_.empty() && !options.improve) {
    throw std::invalid_argument(
        "the option \"enforce_sequence\" is honoured by the improvement phase: set \"improve\": true");
  }
}

bool Solver::PriceLinked(std::vector<WorkingRoute>& routes) const {
  std::vector<const std::vector<int32_t>*> paths;
  paths.reserve(routes.size());
  for (const WorkingRoute& route : routes) paths.push_back(&route.path);
  const LinkedTiming timing = rules_.ScheduleRoutes(paths);
  if (timing.first_broken >= 0) return false;
  for (size_t r = 0; r < routes.size(); ++r) {
    const double limit = agents_[r].time_limit;
    if (timing.warp[r] > 0.0 || !(timing.finish[r] < std::numeric_limits<double>::infinity())) return false;
    if (limit > 0.0 && timing.finish[r] > limit) return false;
    if (!by_distance_) routes[r].cost = timing.finish[r];
  }
  return true;
}

}  // namespace quarn
