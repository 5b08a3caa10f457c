#include <algorithm>

#include "localsearch/improver.h"
#include "localsearch/neighbours.h"
#include "localsearch/timing_segment.h"
#include "solver/solver.h"

namespace quarn {
namespace {

// The phase keeps a few working solutions at once (current, candidate, best and
// the one being reported).
constexpr uint64_t kWorkingSolutions = 4;

}  // namespace

// The search serves every target, so with optional ones the phase runs alone too.
bool Solver::BeyondSearch() const {
  return improve_ && (points_.size() > static_cast<size_t>(VisitedSet::kCapacity) || !left_out_penalty_.empty());
}

// The cost table of every type dominates; admission, neighbour lists and the
// working solutions grow with the instance only linearly.
uint64_t Solver::ImprovementBytes() const {
  const uint64_t n = points_.size();
  const uint64_t types = static_cast<uint64_t>(std::max(num_types_, 1));
  // A distance table beside the costs doubles them; costs from positions need none.
  const uint64_t costs =
      coordinates_only_ ? 0 : (distances_ != nullptr ? 2 : 1) * types * n * n * sizeof(double);
  const uint64_t admission = num_agents_ * n;
  const uint64_t near = types * n *
                        (static_cast<uint64_t>(ImproveSettings{}.neighbours) * sizeof(int32_t) +
                         sizeof(std::vector<int32_t>));
  const uint64_t adjacent =
      n * (std::min<uint64_t>(n, Neighbours::kAdjacentLength) * sizeof(int32_t) +
           sizeof(std::vector<int32_t>));
  const uint64_t solutions =
      kWorkingSolutions * n * (2 * sizeof(TimingSegment) + 3 * sizeof(int32_t));
  return costs + admission + near + adjacent + solutions;
}

}  // namespace quarn
