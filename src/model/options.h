#pragma once

#include <cstdint>

namespace quarn {

enum class ObjectiveType : int32_t { MinMax = 0, MinSum = 1 };

struct Options {
  bool return_to_end = true;
  ObjectiveType objective = ObjectiveType::MinSum;
  double time_limit = 60.0;
  // Bound of the search's memory in MiB; 0 takes the least of half the physical
  // memory and what the process's address-space and cgroup limits leave.
  uint64_t memory_limit = 0;
};

}  // namespace quarn
