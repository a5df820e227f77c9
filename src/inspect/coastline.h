// The coastline of a work file: the 0.5 contour of its own land-sea mask.
#pragma once

#include <vector>

namespace inspect {

// A piece of line in grid coordinates: i from 0 (the first, western column)
// to im - 1, j from 0 (the first row, as the work file stores it) to jm - 1.
struct Segment {
  double i0, j0, i1, j1;
};

// Marching squares over the mask (im x jm, first index fastest): wherever
// a square of four neighbouring points holds land (>= 0.5) and sea, the
// line between them, through the midpoints of the edges that change. On a
// grid that `wraps` round the globe, the last column joins the first, and
// the line between them is given at both edges (i beyond im - 1 and below 0).
std::vector<Segment> coastline(const std::vector<float>& mask, int im, int jm, bool wraps);

}  // namespace inspect
