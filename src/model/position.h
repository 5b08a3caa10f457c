#pragma once

namespace quarn {

struct Position {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

}  // namespace quarn
