#include "import/area.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>

#include "common/failure.h"

namespace i2m {
namespace {

// Points on the box's edges are inside: a grid latitude of 29.999999 stands
// for 30.
constexpr double kEdge = 1e-6;

std::optional<double> parse_number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

double positive_remainder(double x, double m) {
  const double r = std::fmod(x, m);
  return r < 0 ? r + m : r;
}

std::string degrees(double d) { return format_number(d); }

}  // namespace

std::optional<Area> parse_area(const std::string& text) {
  std::vector<double> values;
  size_t start = 0;
  for (;;) {
    const size_t slash = text.find('/', start);
    const std::optional<double> v = parse_number(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (!v) return std::nullopt;
    values.push_back(*v);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  if (values.size() != 4) return std::nullopt;
  const Area a{values[0], values[1], values[2], values[3]};
  if (a.north > 90 || a.south < -90 || a.south > a.north) return std::nullopt;
  return a;
}

Window whole_grid(const LatLonGrid& grid) {
  Window w;
  w.first_row = 0;
  w.rows = grid.nj;
  w.columns.resize(static_cast<size_t>(grid.ni));
  std::iota(w.columns.begin(), w.columns.end(), 0);
  w.south = grid.south;
  w.west = grid.west;
  w.whole = true;
  return w;
}

Window window_for_area(const LatLonGrid& grid, const Area& area) {
  Window w;
  int32_t last_row = -1;
  w.first_row = -1;
  for (int32_t j = 0; j < grid.nj; ++j) {
    const double lat = grid.south + j * grid.dlat;
    if (lat >= area.south - kEdge && lat <= area.north + kEdge) {
      if (w.first_row < 0) w.first_row = j;
      last_row = j;
    }
  }
  w.rows = w.first_row < 0 ? 0 : last_row - w.first_row + 1;
  w.south = grid.south + std::max(w.first_row, 0) * grid.dlat;

  // Each column's longitude counted eastwards from W, in [W, W + 360).
  const double width = area.east >= area.west ? std::min(area.east - area.west, 360.0) : area.east - area.west + 360.0;
  std::vector<std::pair<double, int32_t>> inside;
  for (int32_t i = 0; i < grid.ni; ++i) {
    double from_west = positive_remainder(grid.west + i * grid.dlon - area.west, 360.0);
    if (from_west > 360.0 - kEdge) from_west = 0;  // 359.9999999 is W itself
    if (from_west <= width + kEdge) inside.emplace_back(from_west, i);
  }
  std::sort(inside.begin(), inside.end());
  // A grid that repeats its first meridian at its end holds one column twice.
  inside.erase(std::unique(inside.begin(), inside.end(),
                           [](const auto& a, const auto& b) { return std::fabs(a.first - b.first) <= kEdge; }),
               inside.end());
  for (const auto& c : inside) w.columns.push_back(c.second);
  if (!inside.empty()) w.west = area.west + inside.front().first;

  if (w.rows < 2 || w.columns.size() < 2) {
    fail_file("--area " + degrees(area.north) + "/" + degrees(area.west) + "/" + degrees(area.south) + "/" + degrees(area.east),
              "keeps " + std::to_string(w.columns.size()) + " x " + std::to_string(w.rows) +
                  " points of the grid (" + describe_grid(grid) + "); at least 2 x 2 are needed");
  }
  for (size_t c = 1; c < inside.size(); ++c) {
    if (std::fabs(inside[c].first - inside[c - 1].first - grid.dlon) > 1e-4) {
      fail_file("--area", "the box takes columns that are not equally spaced from this grid (" + describe_grid(grid) + ")");
    }
  }
  return w;
}

void set_grid_numbers(const LatLonGrid& grid, const Window& window, RunControl& rc) {
  rc.im = window.im();
  rc.jm = window.jm();
  rc.grid_type = 0;
  rc.di = static_cast<int32_t>(std::lround(grid.dlon * 1000.0));
  rc.dj = static_cast<int32_t>(std::lround(grid.dlat * 1000.0));
  rc.la1 = static_cast<int32_t>(std::lround(window.south * 1000.0));
  // The first longitude in [-180, 180) degrees, as the grid description
  // convention wants it: a grid that starts at 180 E (ECMWF's open data)
  // starts at -180000, and lo2 stays within 360000 of it.
  const int64_t lo1 = std::lround(window.west * 1000.0);
  rc.lo1 = static_cast<int32_t>(((lo1 + 180000) % 360000 + 360000) % 360000 - 180000);
  rc.la2 = static_cast<int32_t>(std::lround((window.south + (window.rows - 1) * grid.dlat) * 1000.0));
  rc.lo2 = rc.lo1 + (rc.im - 1) * rc.di;
}

void cut_window(const Window& window, int32_t ni, const float* in, float* out) {
  const auto im = static_cast<size_t>(window.im());
  for (int32_t j = 0; j < window.rows; ++j) {
    const float* row = in + static_cast<size_t>(window.first_row + j) * static_cast<size_t>(ni);
    float* to = out + static_cast<size_t>(j) * im;
    // Runs of consecutive columns (all of them, or two where the box wraps)
    // go across in one copy each.
    size_t c = 0;
    while (c < im) {
      size_t run = 1;
      while (c + run < im && window.columns[c + run] == window.columns[c] + static_cast<int32_t>(run)) ++run;
      std::memcpy(to + c, row + window.columns[c], run * sizeof(float));
      c += run;
    }
  }
}

}  // namespace i2m
