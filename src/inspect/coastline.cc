#include "inspect/coastline.h"

#include <cstddef>

namespace inspect {

std::vector<Segment> coastline(const std::vector<float>& mask, int im, int jm, bool wraps) {
  std::vector<Segment> segments;
  auto land = [&](int i, int j) {
    return mask[static_cast<size_t>(j) * static_cast<size_t>(im) + static_cast<size_t>(i % im)] >= 0.5f;
  };
  const int squares = wraps ? im : im - 1;  // the last one joins the last column to the first
  for (int j = 0; j + 1 < jm; ++j) {
    for (int i = 0; i < squares; ++i) {
      const size_t before = segments.size();
      // Corners: 1 lower left, 2 lower right, 4 upper right, 8 upper left.
      const int code = (land(i, j) ? 1 : 0) | (land(i + 1, j) ? 2 : 0) | (land(i + 1, j + 1) ? 4 : 0) |
                       (land(i, j + 1) ? 8 : 0);
      if (code == 0 || code == 15) continue;
      const double x = i, y = j;
      // Midpoints of the edges: bottom, right, top, left.
      const Segment b{x + 0.5, y, 0, 0}, r{x + 1, y + 0.5, 0, 0}, t{x + 0.5, y + 1, 0, 0}, l{x, y + 0.5, 0, 0};
      auto join = [&](const Segment& p, const Segment& q) { segments.push_back({p.i0, p.j0, q.i0, q.j0}); };
      switch (code) {
        case 1: case 14: join(l, b); break;
        case 2: case 13: join(b, r); break;
        case 3: case 12: join(l, r); break;
        case 4: case 11: join(r, t); break;
        case 6: case 9: join(b, t); break;
        case 7: case 8: join(l, t); break;
        case 5: join(l, t); join(b, r); break;   // two land corners apart: keep them apart
        case 10: join(l, b); join(r, t); break;
        default: break;
      }
      // The square across the seam shows at both edges of the map.
      const size_t after = segments.size();
      for (size_t n = before; i == im - 1 && n < after; ++n) {
        const Segment s = segments[n];
        segments.push_back({s.i0 - im, s.j0, s.i1 - im, s.j1});
      }
    }
  }
  return segments;
}

}  // namespace inspect
