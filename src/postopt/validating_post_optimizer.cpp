#include "postopt/validating_post_optimizer.h"

namespace quarn {

void ValidatingPostOptimizer::SetReturnToEnd(bool return_to_end) {
  validator_.SetReturnToEnd(return_to_end);
}

void ValidatingPostOptimizer::SetStarts(const std::vector<int32_t>& starts) {
  validator_.SetStarts(starts);
}

void ValidatingPostOptimizer::SetEnds(const std::vector<int32_t>& ends) {
  validator_.SetEnds(ends);
}

void ValidatingPostOptimizer::SetTimeWindows(const TimeWindowMap& windows) {
  validator_.SetTimeWindows(windows);
}

}  // namespace quarn
