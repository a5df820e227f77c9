// The coordinates of a NetCDF file: which dimension is latitude,
// longitude, time, pressure level, expver and ensemble member, the values
// along each, and the grid they make. Only the NetCDF source files include
// this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "regrid/grid.h"
#include "import/netcdf_file.h"

namespace i2m {

// Which dimension is which, and the coordinates along them.
struct Axes {
  int lat = -1, lon = -1, time = -1, level = -1, expver = -1, member = -1;
  // A latitude of two dimensions (a rotated or curvilinear grid's).
  bool two_dimensional = false;
  nc_type lat_type = NC_DOUBLE, lon_type = NC_DOUBLE;  // the precision the coordinates were stored in
  std::vector<double> lats, lons;
  std::vector<int64_t> times;      // seconds since 1970, per time index
  std::vector<double> levels_pa;   // per level index
  std::vector<long> expvers;
  std::vector<long long> members;  // ensemble member numbers, per member index
  // Model levels: the longest model-level coordinate (its variable and its
  // level numbers), and the dimensions of one-level model-level axes (CDO
  // puts lnsp and the surface geopotential on one of their own).
  int model_level = -1;
  Variable model_level_variable;
  std::vector<double> model_level_numbers;
  std::vector<int> single_model_levels;
};

// Finds the coordinate variables (one dimension each, told by name,
// standard_name or units) and reads them. Ends the run with exit status 2
// for a time unit or calendar that cannot be read, or a coordinate longer
// than any grid, list of times or of levels the importer writes.
Axes find_axes(int nc, const std::vector<Variable>& variables, const std::string& path);

// The grid of the latitude and longitude coordinates, rows south to north
// and columns west to east, and whether the file stores them north first or
// east first. A coordinate that is not equally spaced within its own
// precision gives a grid with its problem set. Ends the run with exit
// status 2 for a file without latitude or longitude.
struct AxesGrid {
  Grid grid;
  bool north_first = false, east_first = false;
};
AxesGrid grid_of(const Axes& axes, const std::string& path);

}  // namespace i2m
