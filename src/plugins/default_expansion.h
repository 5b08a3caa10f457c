#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/expansion_plugin.h"

namespace quarn {

// Moves the unfinished agent that is furthest behind in time.
class DefaultExpansion : public ExpansionPlugin {
 public:
  DefaultExpansion() = default;

  std::string Name() const override { return "DefaultExpansion"; }
  void SetEnds(const std::vector<int32_t>& ends) override;
  // The unfinished agent of least cost, the lowest index on ties; -1 when none.
  int32_t SelectAgent(const Label& label) const override;

 private:
  std::vector<int32_t> ends_;
  uint64_t num_agents_ = 0;
};

}  // namespace quarn
