#include "localsearch/point_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quarn {

PointGrid::PointGrid(const std::vector<int32_t>& ids, const std::vector<double>& x,
                     const std::vector<double>& y) {
  if (ids.empty()) {
    start_.assign(2, 0);
    return;
  }
  double x1 = x[static_cast<size_t>(ids[0])];
  double y1 = y[static_cast<size_t>(ids[0])];
  x0_ = x1;
  y0_ = y1;
  for (int32_t id : ids) {
    const auto i = static_cast<size_t>(id);
    x0_ = std::min(x0_, x[i]);
    x1 = std::max(x1, x[i]);
    y0_ = std::min(y0_, y[i]);
    y1 = std::max(y1, y[i]);
  }
  const double width = x1 - x0_;
  const double height = y1 - y0_;
  const double cells = std::max(1.0, static_cast<double>(ids.size()) / 2.0);
  // Square cells, never so small that a stretched spread asks for more than a
  // few cells a point.
  cell_ = std::max(std::sqrt(width * height / cells), std::max(width, height) / cells);
  if (!(cell_ > 0.0) || !std::isfinite(cell_)) cell_ = 1.0;
  // In doubles first: a span too wide for the cell (or not finite) takes the bound.
  const double most = cells + 1.0;
  columns_ = static_cast<int32_t>(std::min(most, std::floor(width / cell_) + 1.0));
  rows_ = static_cast<int32_t>(std::min(most, std::floor(height / cell_) + 1.0));
  const size_t count = static_cast<size_t>(columns_) * static_cast<size_t>(rows_);
  start_.assign(count + 1, 0);
  std::vector<size_t> cell_of(ids.size());
  for (size_t k = 0; k < ids.size(); ++k) {
    const auto i = static_cast<size_t>(ids[k]);
    cell_of[k] = static_cast<size_t>(CellY(y[i])) * static_cast<size_t>(columns_) + static_cast<size_t>(CellX(x[i]));
    ++start_[cell_of[k] + 1];
  }
  for (size_t c = 0; c < count; ++c) start_[c + 1] += start_[c];
  members_.resize(ids.size());
  std::vector<int32_t> fill(start_.begin(), start_.end() - 1);
  for (size_t k = 0; k < ids.size(); ++k) members_[static_cast<size_t>(fill[cell_of[k]]++)] = ids[k];
}

// A NaN offset goes to the first cell: clamping NaN would leave it NaN.
int32_t PointGrid::CellX(double px) const {
  double cell = std::floor((px - x0_) / cell_);
  if (!(cell >= 0.0)) cell = 0.0;
  return static_cast<int32_t>(std::clamp(cell, 0.0, static_cast<double>(columns_ - 1)));
}

int32_t PointGrid::CellY(double py) const {
  double cell = std::floor((py - y0_) / cell_);
  if (!(cell >= 0.0)) cell = 0.0;
  return static_cast<int32_t>(std::clamp(cell, 0.0, static_cast<double>(rows_ - 1)));
}

void PointGrid::VisitCell(int32_t cx, int32_t cy, std::vector<int32_t>& out) const {
  if (cx < 0 || cy < 0 || cx >= columns_ || cy >= rows_) return;
  const size_t cell = static_cast<size_t>(cy) * static_cast<size_t>(columns_) + static_cast<size_t>(cx);
  out.insert(out.end(), members_.begin() + start_[cell], members_.begin() + start_[cell + 1]);
}

bool PointGrid::VisitRing(double px, double py, int32_t ring, std::vector<int32_t>& out) const {
  const int32_t cx = CellX(px);
  const int32_t cy = CellY(py);
  if (ring > std::max({cx, columns_ - 1 - cx, cy, rows_ - 1 - cy})) return false;
  if (ring == 0) {
    VisitCell(cx, cy, out);
    return true;
  }
  for (int32_t dx = -ring; dx <= ring; ++dx) {
    VisitCell(cx + dx, cy - ring, out);
    VisitCell(cx + dx, cy + ring, out);
  }
  for (int32_t dy = -ring + 1; dy <= ring - 1; ++dy) {
    VisitCell(cx - ring, cy + dy, out);
    VisitCell(cx + ring, cy + dy, out);
  }
  return true;
}

double PointGrid::Beyond(double px, double py, int32_t ring) const {
  const int32_t cx = CellX(px);
  const int32_t cy = CellY(py);
  // The block of cells the rings covered; a point outside it lies beyond one of
  // its sides. A side at the grid's edge has no point beyond it.
  constexpr double kNone = std::numeric_limits<double>::infinity();
  const double left = cx - ring > 0 ? px - (x0_ + (cx - ring) * cell_) : kNone;
  const double right = cx + ring < columns_ - 1 ? (x0_ + (cx + ring + 1) * cell_) - px : kNone;
  const double down = cy - ring > 0 ? py - (y0_ + (cy - ring) * cell_) : kNone;
  const double up = cy + ring < rows_ - 1 ? (y0_ + (cy + ring + 1) * cell_) - py : kNone;
  return std::max(0.0, std::min({left, right, down, up}));
}

}  // namespace quarn
