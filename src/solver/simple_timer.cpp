#include "solver/simple_timer.h"

#include <chrono>

#include "model/diagnostics.h"

namespace quarn {
namespace {

// Milliseconds of a monotonic clock, kept as a 32-bit count; differences are
// taken in unsigned arithmetic so a wrap of the count stays well defined.
int32_t NowTicks() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count();
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(ms)));
}

}  // namespace

int32_t SimpleTimer::Start() {
  start_ticks_ = NowTicks();
  return 0;
}

double SimpleTimer::GetDuration() {
  uint32_t elapsed = static_cast<uint32_t>(NowTicks()) - static_cast<uint32_t>(start_ticks_);
  return static_cast<int32_t>(elapsed) / 1000.0;
}

void SimpleTimer::PrintDuration() {
  // Asked for by the caller, so not a diagnostic the quiet option silences.
  Diagnostics().Out(" System Clock Duration: ", GetDuration());
}

}  // namespace quarn
