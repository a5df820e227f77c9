// The grids that fields come on, in one vocabulary for every source kind and
// for the interpolation: a regular latitude-longitude grid, or rows of
// points (Gaussian, reduced Gaussian, reduced latitude-longitude), or a grid
// that cannot be taken, with why. Values on any of them are held in the
// grid's own order: rows from south to north, each row from west to east.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace i2m {

// A regular latitude-longitude grid: nj rows of ni points.
struct LatLonGrid {
  int32_t ni = 0;     // columns, west to east
  int32_t nj = 0;     // rows, south to north
  double south = 0;   // latitude of the first row, degrees
  double west = 0;    // longitude of the first column, degrees, as the source states it
  double dlat = 0;    // positive row step, degrees
  double dlon = 0;    // positive column step, degrees

  size_t points() const { return static_cast<size_t>(ni) * static_cast<size_t>(nj); }
  double north() const { return south + (nj - 1) * dlat; }
  double east() const { return west + (ni - 1) * dlon; }
  // True when the columns go once round the earth.
  bool is_global() const;
};

enum class GridKind : uint8_t {
  regular_ll,   // LatLonGrid
  regular_gg,   // rows of equal length at Gaussian latitudes
  reduced_gg,   // Gaussian latitudes, rows of their own lengths (classic or octahedral)
  reduced_ll,   // equally spaced latitudes, rows of their own lengths
  unsupported,  // listed, never imported
};

// One row of a grid of rows: its points equally spaced in longitude.
struct GridRow {
  double lat = 0;        // degrees
  int32_t points = 0;
  double west = 0;       // longitude of its first point, degrees
  double dlon = 0;       // step between its points, degrees (0 for a row of one point)
  size_t first = 0;      // index of its first point in the grid's values
};

struct Grid {
  GridKind kind = GridKind::regular_ll;
  LatLonGrid regular;         // kind regular_ll
  std::vector<GridRow> rows;  // the kinds of rows, south to north
  int32_t gaussian_n = 0;     // Gaussian kinds: N, the rows between pole and equator
  std::string problem;        // kind unsupported: "grid type lambert: ..."

  size_t points() const;
  bool is_gaussian() const { return kind == GridKind::regular_gg || kind == GridKind::reduced_gg; }
  // True when every row goes once round the earth.
  bool is_global_in_longitude() const;
};

Grid regular_grid(const LatLonGrid& g);
Grid unsupported_grid(std::string problem);
// A grid of rows (south to north, `first` not yet set): sets each row's
// first point and the kind.
Grid grid_of_rows(GridKind kind, std::vector<GridRow> rows, int32_t gaussian_n);

// The rows of any grid but an unsupported one: a regular grid's nj rows too.
std::vector<GridRow> rows_of(const Grid& g);

// Two grids are one when they are of one kind and their points agree to
// within half a thousandth of a degree, the resolution of the converter's
// grid numbers, longitudes taken round the circle (180 and -180 are one
// meridian).
bool same_grid(const Grid& a, const Grid& b);

// "144 x 73 points, 2.5 x 2.5 degrees, latitudes -90 to 90, longitudes 0 to
// 357.5" (the first longitude taken into [-180, 180)); "reduced Gaussian
// N320 (542080 points, about 0.28 degrees), latitudes -89.78 to 89.78";
// for an unsupported grid, its problem.
std::string describe_grid(const Grid& g);
std::string describe_grid(const LatLonGrid& g);

// "a reduced Gaussian grid (N320, about 0.28 degrees)"
std::string name_grid(const Grid& g);

// A longitude in degrees taken into [-180, 180).
double western_longitude(double degrees);

// x taken into [0, m).
double positive_remainder(double x, double m);

}  // namespace i2m
