#pragma once

#include <functional>

namespace quarn {

// Runs `wait`, a wait that touches nothing of the caller's, for as long as it
// takes; a caller whose thread holds a lock others need (an interpreter's) lets
// go of it there.
using BlockingSection = std::function<void(const std::function<void()>& wait)>;

}  // namespace quarn
