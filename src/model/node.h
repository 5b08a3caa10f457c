#pragma once

#include <cstdint>
#include <optional>

#include "model/position.h"

namespace quarn {

enum class NodeType : int32_t { DEPOT = 0, TARGET = 1 };

struct Node {
  uint64_t id = 0;
  Position position;
  NodeType type = NodeType::TARGET;
  double demand = 0.0;
  // Time spent at the node before leaving; a depot's counts nothing.
  double service = 0.0;
  // The cost of leaving the target unvisited; none: it must be served.
  std::optional<double> penalty;
};

}  // namespace quarn
