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
  constexpr size_t kStopCheckEvery = 64;
  const std::vector<int32_t> pending = TimeOrder(s.model(), s.unassigned(), depot_distance);
  for (size_t i = 0; i < pending.size(); ++i) {
    if (stop != nullptr && i % kStopCheckEvery == kStopCheckEvery - 1 && stop->Expired()) break;
    const int32_t v = pending[i];
    const InsertionSpot spot = neighbours != nullptr ? NearInsertion(s, objective, *neighbours, v)
                                                     : CheapestInsertion(s, objective, v);
    if (spot.route >= 0 && s.model().InsertionPays(v, spot.delta)) InsertAt(s, v, spot);
  }
  s.CollectUnassigned();
}

}  // namespace quarn
