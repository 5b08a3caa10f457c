#include "localsearch/parallel_improver.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "localsearch/rng.h"

namespace quarn {
namespace {

// How often the calling thread, while the walks run, asks the stop check (the
// clock, Ctrl-C, the progress report).
constexpr std::chrono::milliseconds kPoll(10);

}  // namespace

struct ParallelImprover::Walk {
  Walk(const LocalModel& model, const ImproveSettings& settings) : improver(model, settings) {}
  Improver improver;
  StopCheck stop;  // the walk's own: its one clock is the driver's cancel flag
  bool started = false;
  bool alive = true;
  std::exception_ptr error;
};

ParallelImprover::ParallelImprover(const LocalModel& model, const ImproveSettings& settings, int32_t walks,
                                   uint64_t exchange_interval)
    : model_(model), exchange_interval_(std::max<uint64_t>(exchange_interval, 1)), best_(model) {
  if (walks < 1) throw std::invalid_argument("the improvement phase needs at least one walk");
  objective_.min_max = settings.min_max;
  objective_.alpha = settings.alpha;
  Rng seeds(settings.seed);
  for (int32_t w = 0; w < walks; ++w) {
    ImproveSettings own = settings;
    if (w > 0) own.seed = seeds.Next();
    walks_.push_back(std::make_unique<Walk>(model, own));
    // Read on the walk's thread; written only by the calling thread.
    walks_.back()->stop.SetDeadline([this] { return cancel_.load(std::memory_order_relaxed) ? 1.0 : 0.0; }, 0.5);
  }
}

ParallelImprover::~ParallelImprover() { Finish(); }

const LsSolution& ParallelImprover::best() const { return serial_ ? walks_[0]->improver.best() : best_; }

uint64_t ParallelImprover::iterations() const {
  uint64_t most = 0;
  for (const auto& walk : walks_) most = std::max(most, walk->improver.iterations());
  return most;
}

std::vector<OperatorCount> ParallelImprover::operator_counts() const {
  std::vector<OperatorCount> sum;
  for (const auto& walk : walks_) {
    const std::vector<OperatorCount>& counts = walk->improver.operator_counts();
    if (sum.empty()) {
      sum = counts;
      continue;
    }
    for (size_t o = 0; o < counts.size(); ++o) {
      sum[o].evaluated += counts[o].evaluated;
      sum[o].applied += counts[o].applied;
    }
  }
  return sum;
}

bool ParallelImprover::Run(const std::vector<std::vector<int32_t>>& initial, const StopCheck& stop,
                           const std::function<void(const LsSolution&)>& on_best,
                           const BlockingSection& blocking) {
  // One walk is the plain Improver, step for step; so is an instance with nothing to improve.
  serial_ = walks_.size() == 1 || model_.customers().empty();
  if (serial_) return walks_[0]->improver.Run(initial, stop, on_best);

  struct Joined {
    ~Joined() { driver->Finish(); }
    ParallelImprover* driver;
  } joined{this};
  initial_ = &initial;
  for (const auto& walk : walks_) {
    walk->started = false;
    walk->error = nullptr;
  }
  has_best_ = false;
  finished_ = false;
  cancel_ = false;
  // A walk's thread takes the rounds begun after it starts (not those of an earlier Run).
  for (size_t w = 0; w < walks_.size(); ++w) threads_.emplace_back(&ParallelImprover::Work, this, w, round_);

  // The first meeting comes right after the first solutions, so a large
  // instance reports its first plan as soon as a walk has one.
  uint64_t done = 0;
  RunRound(done, done, stop, blocking);
  Exchange(on_best);
  const uint64_t budget = stop.iteration_budget();
  // A cut seen while the walks ran was the stop check's own answer.
  while (!cancel_ && !stop.ImprovementDone(done)) {
    uint64_t target = done + exchange_interval_;
    if (budget != 0) target = std::min(target, budget);
    RunRound(done, target, stop, blocking);
    Exchange(on_best);
    done = target;
  }
  return has_best_;
}

void ParallelImprover::Work(size_t w, uint64_t seen) {
  Walk& walk = *walks_[w];
  for (;;) {
    uint64_t target = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      round_begins_.wait(lock, [&] { return finished_ || round_ > seen; });
      if (finished_) return;
      seen = round_;
      target = target_;
    }
    try {
      if (!walk.started) {
        walk.started = true;
        walk.alive = walk.improver.Start(*initial_, walk.stop, nullptr);
      }
      while (walk.alive && walk.improver.iterations() < target && !cancel_.load(std::memory_order_relaxed)) {
        walk.alive = walk.improver.Step(walk.stop);
      }
    } catch (...) {
      walk.error = std::current_exception();
      walk.alive = false;
      cancel_ = true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (--running_ == 0) round_ends_.notify_all();
  }
}

// Every walk runs from `done` to `target` iterations; meanwhile the calling
// thread asks the stop check and, when it says stop, cuts the walks where they are.
void ParallelImprover::RunRound(uint64_t done, uint64_t target, const StopCheck& stop,
                                const BlockingSection& blocking) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = target;
    running_ = walks_.size();
    ++round_;
  }
  round_begins_.notify_all();
  bool ended = false;
  const std::function<void()> wait = [&] {
    std::unique_lock<std::mutex> lock(mutex_);
    ended = round_ends_.wait_for(lock, kPoll, [&] { return running_ == 0; });
  };
  for (;;) {
    if (blocking) {
      blocking(wait);
    } else {
      wait();
    }
    if (ended) break;
    if (!cancel_ && stop.ImprovementDone(done)) cancel_ = true;
  }
  for (const auto& walk : walks_) {
    if (walk->error) std::rethrow_exception(walk->error);
  }
}

// The best of the walks (the first of equals) is reported when it beats the
// best so far; the worse half of the walks whose best is worse take it up.
void ParallelImprover::Exchange(const std::function<void(const LsSolution&)>& on_best) {
  auto better = [&](const LsSolution& a, const LsSolution& b) { return objective_.Better(a, b); };
  std::vector<size_t> order(walks_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  // Exact comparisons (the tolerance of Better is no strict order), then the index.
  auto rank = [&](size_t w) {
    const Improver& walk = walks_[w]->improver;
    if (!walk.has_best()) return std::make_tuple(1, 0.0, 0.0, w);
    const auto [first, second] = objective_.Measures(walk.best());
    return std::make_tuple(0, first, second, w);
  };
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return rank(a) < rank(b); });
  const Improver& top = walks_[order.front()]->improver;
  if (!top.has_best()) return;
  if (!has_best_ || better(top.best(), best_)) {
    best_ = top.best();
    has_best_ = true;
    if (on_best) on_best(best_);
  }
  for (size_t k = order.size() - order.size() / 2; k < order.size(); ++k) {
    Improver& walk = walks_[order[k]]->improver;
    if (!walk.has_best() || better(best_, walk.best())) walk.Adopt(best_);
  }
}

void ParallelImprover::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  cancel_ = true;
  round_begins_.notify_all();
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  threads_.clear();
}

}  // namespace quarn
