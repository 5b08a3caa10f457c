#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "localsearch/improver.h"
#include "localsearch/local_model.h"
#include "localsearch/objective.h"
#include "localsearch/solution.h"
#include "records/blocking_section.h"
#include "records/stop_check.h"

namespace quarn {

// Several Improver walks at once, one thread each, every walk with its own
// solution and random stream (walk 0 with the given seed, so one walk is the
// plain Improver). The walks meet after the first solution and then every
// `exchange_interval` iterations each; there the best of them is reported, and
// the worse half whose best is worse take it as their current solution. Where
// they meet depends on iteration counts only, so with a budget the outcome is
// the same on every run; only a stop from the clock, the interrupt or the
// progress report (asked on the calling thread while it waits) cuts the walks
// where they are. The budget and the stall rule count the iterations of one walk.
class ParallelImprover {
 public:
  static constexpr uint64_t kExchangeInterval = 1000;

  ParallelImprover(const LocalModel& model, const ImproveSettings& settings, int32_t walks,
                   uint64_t exchange_interval = kExchangeInterval);
  ~ParallelImprover();
  ParallelImprover(const ParallelImprover&) = delete;
  ParallelImprover& operator=(const ParallelImprover&) = delete;

  // As Improver::Run; `on_best` and every call of `stop` happen on the calling
  // thread. An exception in a walk ends them all and leaves Run.
  bool Run(const std::vector<std::vector<int32_t>>& initial, const StopCheck& stop,
           const std::function<void(const LsSolution&)>& on_best, const BlockingSection& blocking = nullptr);

  const LsSolution& best() const;
  // Per walk: those of the walks that went furthest.
  uint64_t iterations() const;
  // What each descent operator priced and applied, summed over the walks.
  std::vector<OperatorCount> operator_counts() const;

 private:
  struct Walk;

  bool RunSerial(const std::vector<std::vector<int32_t>>& initial, const StopCheck& stop,
                 const std::function<void(const LsSolution&)>& on_best);
  void Work(size_t w, uint64_t seen);
  void RunRound(uint64_t done, uint64_t target, const StopCheck& stop, const BlockingSection& blocking);
  void Exchange(const std::function<void(const LsSolution&)>& on_best);
  void Finish();

  const LocalModel& model_;
  uint64_t exchange_interval_;
  std::vector<std::unique_ptr<Walk>> walks_;
  const std::vector<std::vector<int32_t>>* initial_ = nullptr;
  LsObjective objective_;
  LsSolution best_;
  bool has_best_ = false;
  bool serial_ = false;

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable round_begins_;
  std::condition_variable round_ends_;
  uint64_t round_ = 0;      // rounds begun
  uint64_t target_ = 0;     // the iteration count each walk runs to in this round
  size_t running_ = 0;      // walks still in this round
  bool finished_ = false;
  std::atomic<bool> cancel_{false};
};

}  // namespace quarn
