#include "solver/time_window_map.h"

namespace quarn {

bool ApplyWindow(const TimeWindowMap& windows, int32_t node, double t, double& out) {
  out = t;
  auto it = windows.find(node);
  if (it == windows.end()) return true;
  if (t > it->second.second) return false;
  if (it->second.first > t) out = it->second.first;
  return true;
}

}  // namespace quarn
