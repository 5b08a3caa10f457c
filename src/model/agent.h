#pragma once

#include <cstdint>
#include <string>

namespace quarn {

struct Agent {
  uint64_t id = 0;
  std::string type;
  uint64_t start_node = 0;
  uint64_t end_node = 0;
  double capacity_limit = 0.0;
  double time_limit = 0.0;
};

}  // namespace quarn
