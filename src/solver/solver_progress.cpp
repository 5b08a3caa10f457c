#include <algorithm>
#include <vector>

#include "solver/solver.h"

namespace quarn {
namespace {

constexpr double kProgressInterval = 0.1;  // at most ten reports a second

}  // namespace

void Solver::InstallProgress() {
  improving_ = false;
  progress_seen_ = 0;
  progress_solutions_ = 0;
  progress_kept_ = ImprovingSolutions(objective_kind_ == ObjectiveKind::kMinSum);
  if (!progress_) {
    stop_.SetProgress(nullptr, 0.0);
    return;
  }
  stop_.SetProgress([this](double elapsed) { return progress_(MakeProgressReport(elapsed)); },
                    kProgressInterval);
}

ProgressReport Solver::MakeProgressReport(double elapsed) {
  // The entries recorded since the last report, counted as the anytime list counts them.
  for (; progress_seen_ < anytime_.size(); ++progress_seen_) {
    const Result& entry = anytime_[progress_seen_].second;
    CostSpread spread = SpreadOf(entry, num_agents_);
    // The objective counts the left-out targets' penalties, as the anytime list does.
    if (!left_out_penalty_.empty()) {
      spread.max += entry.penalty;
      spread.sum += entry.penalty;
    }
    if (progress_kept_.Keep(spread.max, spread.sum)) ++progress_solutions_;
  }
  ProgressReport report;
  report.elapsed = elapsed;
  if (progress_solutions_ > 0) report.objective = progress_kept_.best();
  report.improving = improving_;
  report.solutions = progress_solutions_;
  return report;
}

}  // namespace quarn
