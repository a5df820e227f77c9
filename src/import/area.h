// The part of the source grid an import keeps: all of it, or the points
// inside a latitude-longitude box, with the columns of a global grid
// wrapping round the 0 or the 180 meridian.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/run_control.h"
#include "import/field.h"

namespace i2m {

// A box in degrees, in the Data Store's order N/W/S/E.
struct Area {
  double north = 0, west = 0, south = 0, east = 0;
};

// Reads "N/W/S/E"; nullopt when the text is not four numbers with
// -90 <= S <= N <= 90 and finite W and E.
std::optional<Area> parse_area(const std::string& text);

// Which points of the source grid (rows south to north, columns west to
// east) the import writes, and the grid numbers that describe them.
struct Window {
  int32_t first_row = 0;
  int32_t rows = 0;
  std::vector<int32_t> columns;  // source column of each written column, west to east
  double south = 0;              // latitude of the first written row
  double west = 0;               // longitude of the first written column

  int32_t im() const { return static_cast<int32_t>(columns.size()); }
  int32_t jm() const { return rows; }
  // True when the window is the whole grid in its own order (no copy needed).
  bool whole = false;
};

// The whole grid, its longitudes as the source states them.
Window whole_grid(const LatLonGrid& grid);

// The points inside `area`, edges included. Longitudes are taken round the
// circle: the first written column is the first inside the box counting
// eastwards from W, its longitude written in [W, W + 360). Ends the run with
// exit status 2 when fewer than 2 rows or 2 columns fall inside.
Window window_for_area(const LatLonGrid& grid, const Area& area);

// Fills im, jm and the seven grid numbers (thousandths of a degree):
// la1/lo1 the south-west point, lo1 in [-180000, 180000), lo2 = lo1 +
// (im - 1) di.
void set_grid_numbers(const LatLonGrid& grid, const Window& window, RunControl& rc);

// Copies the window's points of a source field (grid.ni columns) to `out`,
// im x jm values, rows south to north.
void cut_window(const Window& window, int32_t ni, const float* in, float* out);

}  // namespace i2m
