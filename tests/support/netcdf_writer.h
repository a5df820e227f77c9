// Test helper: the ERA5-like data set written as NetCDF the way the Climate
// Data Store has delivered ERA5: the older layout (NetCDF3 64-bit offset,
// 16-bit packed values, hours since 1900, optionally the ERA5/ERA5T expver
// dimension) and the newer one (NetCDF-4, zlib-compressed float32 with NaN
// fill, valid_time in seconds since 1970, pressure_level in hPa).
#pragma once

#include <string>

#include "support/era5_like.h"

namespace testing_support {

struct NetcdfLayout {
  bool newer = false;
  bool south_first = false;     // latitudes stored from the south
  bool expver = false;          // older layout: expver 1 holds the first time, 5 the others
  bool expver_overlap = false;  // and both hold data at the last time
  std::string time_units;       // "" for the layout's own
  // Every variable's dimensions in reverse order: (longitude, latitude,
  // [level,] time); the older layout keeps its record dimension time first.
  bool transposed = false;
  // An ensemble dimension "number" of this many members (0, 1, ...); only
  // the last member holds the data, the others are filled.
  int members = 0;
  bool (*leave_out)(int variable, size_t time, size_t level) = nullptr;
};

// Writes the pressure-level file and the single-level file. Values are
// packed so that the 16-bit packing stores them exactly.
void write_era5_netcdf(const Era5Like& d, const NetcdfLayout& layout, const std::string& pressure_file,
                       const std::string& single_file);

}  // namespace testing_support
