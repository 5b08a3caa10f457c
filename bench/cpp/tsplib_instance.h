#pragma once

#include <string>

#include "model/options.h"
#include "model/problem.h"

namespace quarn::bench {

// A TSPLIB EUC_2D file as a single-depot instance: the depot is the first node,
// every agent (one type) starts and ends there, costs are real Euclidean
// distances. Throws std::runtime_error for a file it cannot read.
Problem ReadTsplibInstance(const std::string& path, int agents);

}  // namespace quarn::bench
