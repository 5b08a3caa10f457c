#pragma once

#include <cstdint>

namespace quarn {

// Measures elapsed wall-clock time in milliseconds from a monotonic clock, so a
// time limit means seconds on the wall clock even when the machine is busy.
class SimpleTimer {
 public:
  virtual ~SimpleTimer() = default;
  virtual int32_t Start();
  // Seconds since Start.
  virtual double GetDuration();
  virtual void PrintDuration();

 private:
  int32_t start_ticks_ = 0;
};

}  // namespace quarn
