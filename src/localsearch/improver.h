#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "localsearch/local_model.h"
#include "localsearch/objective.h"
#include "localsearch/ruin.h"
#include "localsearch/solution.h"
#include "records/stop_check.h"

namespace quarn {

struct ImproveSettings {
  uint64_t seed = 0;
  bool min_max = false;
  double alpha = 0.01;            // weight of the total under min-max
  int32_t neighbours = 20;        // granular list length
  double blink = 0.01;            // SISR's blink rate
  RuinSettings ruin;
  bool local_search = true;       // descend on every candidate
  double start_temperature = 1.0; // times the mean arc of the first solution
  double end_temperature = 0.01;
  // For instances too large for quadratic steps: the first solution by
  // FarthestFirstInsertion (reported before its descent), recreate by
  // NearInsertion, and the descent requeues only near targets.
  bool neighbour_limited = false;
};

// Ruin-and-recreate (SISR: adjacent strings, insertion with blinks) under
// simulated annealing, each candidate polished by the granular local search.
// Starts from the given paths (full paths, one per agent; an empty path means
// idle), builds a first solution by regret insertion where targets are missing.
class Improver {
 public:
  Improver(const LocalModel& model, const ImproveSettings& settings);

  // `progress` reads how far the phase has come, from 0 to 1 (it sets the
  // temperature); `on_best` is called for every better complete solution.
  // True when a complete solution exists at the end; `best()` is then it.
  bool Run(const std::vector<std::vector<int32_t>>& initial, const StopCheck& stop,
           const std::function<double(uint64_t)>& progress,
           const std::function<void(const LsSolution&)>& on_best);

  const LsSolution& best() const { return best_; }
  uint64_t iterations() const { return iterations_; }

 private:
  void Load(const std::vector<std::vector<int32_t>>& initial, LsSolution& s) const;

  const LocalModel& model_;
  ImproveSettings settings_;
  LsObjective objective_;
  LsSolution best_;
  bool has_best_ = false;
  uint64_t iterations_ = 0;
};

}  // namespace quarn
