#pragma once

#include <cstdint>
#include <vector>

#include "plugins/post_optimizer_plugin.h"
#include "postopt/route_validator.h"

namespace quarn {

// A post-optimizer that judges every route it writes with a RouteValidator; the
// depot and window settings go straight to that validator.
class ValidatingPostOptimizer : public PostOptimizerPlugin {
 public:
  void SetReturnToEnd(bool return_to_end) override;
  void SetStarts(const std::vector<int32_t>& starts) override;
  void SetEnds(const std::vector<int32_t>& ends) override;
  void SetTimeWindows(const TimeWindowMap& windows) override;

 protected:
  RouteValidator validator_;
};

}  // namespace quarn
