// What a source says about one of its fields, in the system's vocabulary:
// the plain data that every step after the sources works on.
#pragma once

#include <cstdint>
#include <string>

#include "import/quantity.h"

namespace i2m {

// A regular latitude-longitude grid as the sources deliver values on it:
// rows from south to north, columns from west to east, whatever order the
// file stores them in.
struct LatLonGrid {
  int32_t ni = 0;     // columns, west to east
  int32_t nj = 0;     // rows, south to north
  double south = 0;   // latitude of the first row, degrees
  double west = 0;    // longitude of the first column, degrees, as the file states it
  double dlat = 0;    // positive row step, degrees
  double dlon = 0;    // positive column step, degrees
  // Why the importer cannot take the grid ("grid type regular_gg: only
  // regular latitude-longitude grids can be imported"), or "" when it can.
  // Such a grid is still listed; importing a field on it ends the run.
  std::string problem;

  size_t points() const { return static_cast<size_t>(ni) * static_cast<size_t>(nj); }
  double north() const { return south + (nj - 1) * dlat; }
  double east() const { return west + (ni - 1) * dlon; }
  // True when the columns go once round the earth.
  bool is_global() const;
};

// Two grids are one when their points agree to within half a thousandth of
// a degree, the resolution of the converter's grid numbers, longitudes
// taken round the circle (180 and -180 are one meridian).
bool same_grid(const LatLonGrid& a, const LatLonGrid& b);

// "144 x 73 points, 2.5 x 2.5 degrees, latitudes -90 to 90, longitudes 0 to 357.5",
// the first longitude taken into [-180, 180) as the grid numbers write it;
// for a grid that cannot be imported, its problem.
std::string describe_grid(const LatLonGrid& g);

// A longitude in degrees taken into [-180, 180).
double western_longitude(double degrees);

// A number of degrees, Pa or m as text without trailing zeros ("2.5", "-90").
std::string format_number(double value);

inline constexpr int64_t kNoMember = -1;

// One field of a source.
struct FieldInfo {
  int64_t valid_time = 0;  // seconds since 1970-01-01 00:00 UTC
  Quantity quantity = Quantity::height;
  // Pressure in Pa for upper-air fields, the depth of the layer's top in m
  // for soil fields, 0 otherwise.
  double level = 0;
  double layer_bottom = 0;  // soil fields: depth of the layer's bottom in m
  // Among fields of one quantity, level and time from different
  // parameters (orog and surface z, say) the lowest preference is taken.
  int preference = 0;
  LatLonGrid grid;
  std::string name;    // the source's own parameter name, for listings
  std::string units;   // the source's units, for listings
  std::string place;   // where it is, for diagnostics: "FILE: message 12"
  int source = 0;      // index of its source in the inventory
  // The ensemble member (GRIB key number, NetCDF number coordinate), or
  // kNoMember for a field of no ensemble.
  int64_t member = kNoMember;
  uint64_t locator = 0;  // where the source finds it again; opaque elsewhere
};

// Levels and depths compared as whole thousandths (of a Pa, of a m), so that
// 85000 Pa from one file and 850 hPa x 100 from another are one level.
int64_t level_key(double level);

}  // namespace i2m
