#pragma once

#include <cstdint>
#include <vector>

#include "records/visited_set.h"

namespace quarn {

// One joint search state of all agents.
struct Label {
  int32_t id = 0;
  std::vector<int32_t> positions;  // node index of each agent
  std::vector<double> costs;       // accumulated cost (= clock) of each agent
  VisitedSet visited;
  double h = 0.0;
  double g = 0.0;
  double f = 0.0;
  int32_t remaining = 0;           // agents not finished
  int32_t last_agent = 0;          // the agent whose move made this label
  std::vector<uint8_t> finished;   // 1 once the agent has finished
  std::vector<double> loads;       // demand served by each agent; empty unless capacities are enforced
};

}  // namespace quarn
