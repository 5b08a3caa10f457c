#include "model/time_window_constraint.h"

namespace quarn {

void TimeWindowConstraint::set_timewindow(uint64_t node, double start, double end) {
  windows_by_node[node] = {start, end};
}

}  // namespace quarn
