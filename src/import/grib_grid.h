// The grid of a GRIB field, in the system's vocabulary (regrid/grid.h): a
// regular latitude-longitude grid from its corners and increments, a grid
// of rows (regular or reduced Gaussian, reduced latitude-longitude) from
// the points ecCodes' iterator locates, or a grid the importer cannot take.
// Only the GRIB source files include this.
#pragma once

#include <memory>
#include <string>

#include "import/grib_keys.h"
#include "regrid/grid.h"

namespace i2m {

// A field's grid and the order its values are stored in.
struct GribGrid {
  std::shared_ptr<const Grid> grid;
  bool south_first = false;  // rows stored from the south
  bool east_first = false;   // each row stored from the east
};

// Whether the grid of this kind of message is located point by point
// (needs the whole message; a header-only handle is not enough).
bool grid_needs_points(const std::string& grid_type);

// The grid of the message behind `keys`. A grid the importer cannot take
// comes back with its problem set, so that a listing still shows the field.
GribGrid read_grib_grid(const Keys& keys);

// "grid type lambert: only latitude-longitude and Gaussian grids can be imported"
std::string unsupported_grid_type(const std::string& type);

}  // namespace i2m
