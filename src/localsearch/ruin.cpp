#include "localsearch/ruin.h"

#include <algorithm>
#include <cmath>

namespace quarn {

std::vector<int32_t> RuinAdjacentStrings(LsSolution& s, const Neighbours& neighbours,
                                         const RuinSettings& settings, Rng& rng) {
  std::vector<int32_t> removed;
  const std::vector<int32_t>& targets = s.model().customers();
  int32_t assigned = 0;
  int32_t used_routes = 0;
  for (const LsRoute& route : s.routes()) {
    assigned += route.targets();
    used_routes += route.targets() > 0 ? 1 : 0;
  }
  if (assigned == 0) return removed;
  const double mean_len = static_cast<double>(assigned) / std::max(used_routes, 1);
  const double longest = static_cast<double>(std::max(settings.longest_string, settings.max_string));
  const double ls_max =
      std::min(std::clamp(mean_len * settings.string_share, static_cast<double>(settings.max_string), longest), mean_len);
  const double ks_max = 4.0 * settings.average_removed / (1.0 + ls_max) - 1.0;
  const auto strings = static_cast<int32_t>(std::floor(rng.Unit() * ks_max)) + 1;

  int32_t seed = -1;
  // A target left out that must be served, or one on a route that breaks a
  // rule, needs room near it, so half the time the strings are cut around one
  // of them (an optional one left out may be out for good).
  std::vector<int32_t> troubled;
  for (int32_t v : s.unassigned()) {
    if (!s.model().IsOptional(v)) troubled.push_back(v);
  }
  if (troubled.empty() && !s.feasible()) {
    for (const LsRoute& route : s.routes()) {
      if (route.feasible()) continue;
      for (int32_t p = 1; p < route.last(); ++p) troubled.push_back(route.path[static_cast<size_t>(p)]);
    }
  }
  if (!troubled.empty() && rng.Below(2) == 0) {
    seed = troubled[rng.Below(static_cast<uint32_t>(troubled.size()))];
  }
  if (seed < 0 && settings.longest_route > 0.0 && rng.Unit() < settings.longest_route) {
    const LsRoute* longest = nullptr;
    for (const LsRoute& route : s.routes()) {
      if (route.targets() > 0 && (longest == nullptr || route.cost > longest->cost)) longest = &route;
    }
    if (longest != nullptr) {
      seed = longest->path[1 + rng.Below(static_cast<uint32_t>(longest->targets()))];
    }
  }
  for (int tries = 0; tries < 64 && seed < 0; ++tries) {
    const int32_t v = targets[rng.Below(static_cast<uint32_t>(targets.size()))];
    if (s.route_of(v) >= 0) seed = v;
  }
  if (seed < 0) return removed;

  std::vector<int32_t> ruined;
  auto visit = [&](int32_t v) {
    const int32_t r = s.route_of(v);
    if (r < 0 || std::find(ruined.begin(), ruined.end(), r) != ruined.end()) return;
    const LsRoute& route = s.route(r);
    const double cap = std::min(static_cast<double>(route.targets()), ls_max);
    const auto len = std::min(static_cast<int32_t>(std::floor(rng.Unit() * cap)) + 1, route.targets());
    // A random string of `len` targets that contains v.
    const int32_t pos = s.pos_of(v);
    const int32_t lo = std::max(1, pos - len + 1);
    const int32_t hi = std::min(pos, route.last() - len);
    const int32_t first = lo + static_cast<int32_t>(rng.Below(static_cast<uint32_t>(hi - lo + 1)));
    std::vector<int32_t>& path = s.path(r);
    for (int32_t p = first; p < first + len; ++p) {
      removed.push_back(path[static_cast<size_t>(p)]);
      s.MarkUnassigned(path[static_cast<size_t>(p)]);
    }
    path.erase(path.begin() + first, path.begin() + first + len);
    s.Refresh(r);
    ruined.push_back(r);
  };
  visit(seed);
  for (int32_t v : neighbours.Adjacent(seed)) {
    if (static_cast<int32_t>(ruined.size()) >= strings) break;
    visit(v);
  }
  s.CollectUnassigned();
  return removed;
}

}  // namespace quarn
