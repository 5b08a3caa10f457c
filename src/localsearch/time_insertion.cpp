#include "localsearch/time_insertion.h"

#include <algorithm>

#include "localsearch/insertion.h"

namespace quarn {

std::vector<int32_t> TimeOrder(const LocalModel& model, std::vector<int32_t> targets,
                               const std::vector<double>& depot_distance) {
  std::stable_sort(targets.begin(), targets.end(), [&](int32_t a, int32_t b) {
    const double la = model.latest(a);
    const double lb = model.latest(b);
    if (la != lb) return la < lb;
    const double ea = model.earliest(a);
    const double eb = model.earliest(b);
    if (ea != eb) return ea < eb;
    return depot_distance[static_cast<size_t>(a)] > depot_distance[static_cast<size_t>(b)];
  });
  return targets;
}

void TimeOrderedInsertion(LsSolution& s, const LsObjective& objective, const Neighbours* neighbours,
                          const std::vector<double>& depot_distance, const StopCheck* stop) {
  InsertInOrder(s, objective, neighbours, TimeOrder(s.model(), s.unassigned(), depot_distance), stop);
}

}  // namespace quarn
