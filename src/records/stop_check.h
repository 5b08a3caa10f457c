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
  void SetMemoryBound(std::function<uint64_t()> in_use, uint64_t limit) {
    in_use_ = std::move(in_use);
    memory_limit_ = limit;
  }
  void SetMemoryLimit(uint64_t limit) { memory_limit_ = limit; }

  // The interrupt, then the deadline. Budgets are not asked: work that finishes
  // what one expansion began (post-optimisation) must not depend on them.
  bool Expired() const {
    if (interrupt_) interrupt_();
    // Written so that a NaN limit stops at once instead of never.
    return elapsed_ && !(elapsed_() <= limit_);
  }
  // The search stops before its next expansion.
  bool SearchDone(uint64_t expansions) const {
    if (Expired()) return true;
    if (expansion_budget_ != 0 && expansions >= expansion_budget_) return true;
    return in_use_ && in_use_() > memory_limit_;
  }
  // The improvement phase stops before its next iteration.
  bool ImprovementDone(uint64_t iterations) const {
    if (Expired()) return true;
    return iteration_budget_ != 0 && iterations >= iteration_budget_;
  }

 private:
  std::function<double()> elapsed_;
  double limit_ = 0.0;
  std::function<void()> interrupt_;
  uint64_t expansion_budget_ = 0;
  uint64_t iteration_budget_ = 0;
  std::function<uint64_t()> in_use_;
  uint64_t memory_limit_ = 0;
};

}  // namespace quarn
