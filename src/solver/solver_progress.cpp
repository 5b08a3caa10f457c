#include <algorithm>
#include <vector>

#include "solver/solver.h"

namespace quarn {
namespace {

constexpr double kProgressInterval = 0.1;  // at most ten reports a second
// The anytime list's own start and tolerance, so the reports count as it does.
constexpr double kNoScore = 1e18;
constexpr double kImprovementTolerance = 1e-9;

}  // namespace

void Solver::InstallProgress() {
  improving_ = false;
  progress_seen_ = 0;
  progress_solutions_ = 0;
  progress_best_ = kNoScore;
  if (!progress_) {
    stop_.SetProgress(nullptr, 0.0);
    return;
  }
  stop_.SetProgress([this](double elapsed) { return progress_(MakeProgressReport(elapsed)); },
                    kProgressInterval);
}

ProgressReport Solver::MakeProgressReport(double elapsed) {
  // The entries recorded since the last report, scored by the objective's measure.
  for (; progress_seen_ < anytime_.size(); ++progress_seen_) {
    double score = 0.0;
    for (double cost : CostsInAgentOrder(anytime_[progress_seen_].second, num_agents_)) {
      score = objective_kind_ == ObjectiveKind::kMinSum ? score + cost : std::max(score, cost);
    }
    if (progress_best_ - kImprovementTolerance > score) {
      progress_best_ = score;
      ++progress_solutions_;
    }
  }
  ProgressReport report;
  report.elapsed = elapsed;
  if (progress_solutions_ > 0) report.objective = progress_best_;
  report.improving = improving_;
  report.solutions = progress_solutions_;
  return report;
}

}  // namespace quarn
