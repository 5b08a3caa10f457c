#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {

// A uniform grid over a set of plane points (about two per cell), visited ring
// by ring around a point: the neighbours of a large instance without comparing
// every pair.
class PointGrid {
 public:
  // `ids[i]` stands at (x[ids[i]], y[ids[i]]).
  PointGrid(const std::vector<int32_t>& ids, const std::vector<double>& x, const std::vector<double>& y);

  // Every id in the cells at Chebyshev distance `ring` from the cell of (px, py)
  // goes to `out`; false once the ring lies wholly outside the grid, when every
  // point has been visited by the rings before it.
  bool VisitRing(double px, double py, int32_t ring, std::vector<int32_t>& out) const;
  // The least plane distance from (px, py) to a point beyond the rings 0 .. ring.
  double Beyond(double px, double py, int32_t ring) const;

 private:
  int32_t CellX(double px) const;
  int32_t CellY(double py) const;
  void VisitCell(int32_t cx, int32_t cy, std::vector<int32_t>& out) const;

  double x0_ = 0.0;
  double y0_ = 0.0;
  double cell_ = 1.0;
  int32_t columns_ = 1;
  int32_t rows_ = 1;
  std::vector<int32_t> start_;  // by cell, into members_; one entry more than cells
  std::vector<int32_t> members_;
};

}  // namespace quarn
