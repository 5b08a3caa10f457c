#pragma once

#include <cstdint>
#include <functional>
#include <utility>

namespace quarn {

// The one place that says when work must end: the clock of the time limit, the
// caller's interrupt, the budgets and the memory bound. The search, the
// post-optimizers and the improvement phase all ask it.
class StopCheck {
 public:
  // `elapsed` reads the seconds since the clock of `limit` started.
  void SetDeadline(std::function<double()> elapsed, double limit) {
    elapsed_ = std::move(elapsed);
    limit_ = limit;
  }
  // Called at every check; an exception it throws leaves the work under way.
  void SetInterrupt(std::function<void()> check) { interrupt_ = std::move(check); }
  // 0 means no budget.
  void SetExpansionBudget(uint64_t expansions) { expansion_budget_ = expansions; }
  void SetIterationBudget(uint64_t iterations) { iteration_budget_ = iterations; }
  uint64_t iteration_budget() const { return iteration_budget_; }
  // The improvement phase also ends once `iterations` have passed without a better
  // solution (0: never). Starts the phase's count afresh.
  void SetStall(uint64_t iterations) {
    stall_ = iterations;
    better_at_ = 0;
    cut_ = false;
  }
  // The phase found a better solution in this iteration.
  void MarkBetter(uint64_t iteration) { better_at_ = iteration; }
  void SetMemoryBound(std::function<uint64_t()> in_use, uint64_t limit) {
    in_use_ = std::move(in_use);
    memory_limit_ = limit;
  }
  void SetMemoryLimit(uint64_t limit) { memory_limit_ = limit; }
  // Whether tables of this many bytes, still to be allocated, stay within the bound.
  bool MemoryAllows(uint64_t bytes) const { return !in_use_ || bytes <= memory_limit_; }
  // Called at a check, with the clock's seconds, once `interval` seconds have
  // passed since its last call (so first at the first check). When it returns
  // true the work ends as at the deadline, and every later check says so. An
  // exception it throws leaves the work under way, as the interrupt's does.
  void SetProgress(std::function<bool(double elapsed)> report, double interval) {
    report_ = std::move(report);
    report_interval_ = interval;
    next_report_ = 0.0;
    stopped_by_report_ = false;
  }

  // The interrupt, the progress report, then the deadline. Budgets are not asked:
  // work that finishes what one expansion began (post-optimisation) must not
  // depend on them.
  bool Expired() const {
    if (interrupt_) interrupt_();
    if (report_ && StoppedByReport()) return true;
    // Written so that a NaN limit stops at once instead of never.
    return elapsed_ && !(elapsed_() <= limit_);
  }
  // The search stops before its next expansion.
  bool SearchDone(uint64_t expansions) const {
    if (Expired()) return true;
    if (expansion_budget_ != 0 && expansions >= expansion_budget_) return true;
    return in_use_ && in_use_() > memory_limit_;
  }
  // The improvement phase stops before its next iteration: cut by the limit, the
  // interrupt or the budget, or ended on its own by the stall rule.
  bool ImprovementDone(uint64_t iterations) const {
    if (Expired() || (iteration_budget_ != 0 && iterations >= iteration_budget_)) {
      cut_ = true;
      return true;
    }
    return stall_ != 0 && iterations - better_at_ >= stall_;
  }
  // True once ImprovementDone has said stop for a cause other than the stall.
  bool ImprovementCut() const { return cut_; }

 private:
  std::function<double()> elapsed_;
  double limit_ = 0.0;
  std::function<void()> interrupt_;
  uint64_t expansion_budget_ = 0;
  uint64_t iteration_budget_ = 0;
  uint64_t stall_ = 0;
  uint64_t better_at_ = 0;
  mutable bool cut_ = false;
  std::function<uint64_t()> in_use_;
  uint64_t memory_limit_ = 0;
  std::function<bool(double)> report_;
  double report_interval_ = 0.0;
  // The checks are const, as every part that asks is only a reader of the bound.
  mutable double next_report_ = 0.0;
  mutable bool stopped_by_report_ = false;

  bool StoppedByReport() const {
    if (stopped_by_report_) return true;
    const double now = elapsed_ ? elapsed_() : 0.0;
    if (now < next_report_) return false;
    next_report_ = now + report_interval_;
    stopped_by_report_ = report_(now);
    return stopped_by_report_;
  }
};

}  // namespace quarn
