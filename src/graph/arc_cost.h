#pragma once

#include <cstdint>
#include <optional>

#include "graph/planner_graph.h"

namespace quarn {

// Cost of the arc u -> v for one agent type, or nothing when the graph has no
// such arc or its cost vector has no component for the type. Every reader of a
// single cost component goes through here, so none reads outside a vector.
std::optional<double> ArcComponent(const PlannerGraph& graph, int32_t u, int32_t v, int32_t type);

}  // namespace quarn
