#pragma once

#include <nlohmann/json_fwd.hpp>

#include "model/problem.h"

namespace quarn {

// Fills a freshly constructed Problem from a parsed instance document.
// Failures are the JSON library's own exceptions, passed on unchanged; a
// partly filled Problem is left behind for the caller to discard.
void load_problem_from_json(const nlohmann::json& doc, Problem& problem);

}  // namespace quarn
