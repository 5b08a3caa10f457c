#pragma once

#include <string>

namespace quarn {

// Common root of the six exchangeable search policies.
class PluginBase {
 public:
  virtual ~PluginBase() = default;
  virtual std::string Name() const = 0;
};

}  // namespace quarn
