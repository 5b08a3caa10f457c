#pragma once

#include <cstdint>
#include <optional>

#include "model/missing_cost.h"

namespace quarn {

enum class ObjectiveType : int32_t { MinMax = 0, MinSum = 1 };
// The measure min-sum adds up; min-max always takes the longest duration.
enum class Minimise : int32_t { Duration = 0, Distance = 1 };

struct Options {
  bool return_to_end = true;
  ObjectiveType objective = ObjectiveType::MinSum;
  double time_limit = 60.0;
  // Bound of the search's memory in MiB; 0 takes the least of half the physical
  // memory and what the process's address-space and cgroup limits leave.
  uint64_t memory_limit = 0;
  // After the search stalls, improve its best solution by local search until the limit.
  bool improve = false;
  uint64_t seed = 0;             // of the improvement phase's random choices
  uint64_t max_iterations = 0;   // improvement iterations; 0: no budget
  // The improvement phase ends after this many iterations without a better
  // solution; 0 scales it with the instance (see Solver::StallIterations).
  uint64_t improve_stall = 0;
  uint64_t max_expansions = 0;   // search expansions; 0: no budget
  // Walks of the improvement phase run at once, one thread each (at least 1);
  // the budget and the stall rule then count the iterations of one walk.
  int32_t threads = 1;
  // An arc cost at or above it means no arc; costs in metres or seconds may need more.
  double missing_cost = kMissingCost;
  // Silences the core's own diagnostic lines on standard output and error.
  bool quiet = false;
  // Each route's total demand stays within its agent's capacity (0: no limit);
  // off, demands and capacities are kept and never read.
  bool enforce_capacities = false;
  // Distance counts only under min-sum, and only the improvement phase honours it.
  Minimise minimise = Minimise::Duration;
  // The penalty of every target without its own; none: such targets must be served.
  std::optional<double> default_penalty;
  // The "sequence" pairs (precedence_pairs, same_pairs, diff_pairs) are kept;
  // off, they are stored and never read. Only the improvement phase honours them.
  bool enforce_sequence = false;
};

}  // namespace quarn
