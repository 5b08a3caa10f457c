#pragma once

#include <iostream>

namespace quarn {

// Where the core's own diagnostic lines go: standard output or error, each line
// flushed at once, or nowhere when quiet. A plain value each solve carries (from
// Options::quiet), so two solves in two threads never share a switch.
class Diagnostics {
 public:
  explicit Diagnostics(bool quiet = false) : quiet_(quiet) {}

  // One line from its parts, as `stream << part << ...` would print them.
  template <typename... Parts>
  void Out(const Parts&... parts) const {
    if (!quiet_) Line(std::cout, parts...);
  }
  template <typename... Parts>
  void Err(const Parts&... parts) const {
    if (!quiet_) Line(std::cerr, parts...);
  }

 private:
  template <typename... Parts>
  static void Line(std::ostream& stream, const Parts&... parts) {
    (stream << ... << parts) << std::endl;
  }

  bool quiet_ = false;
};

}  // namespace quarn
