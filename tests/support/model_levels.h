// Test helper: a data time on model (hybrid) levels written as ECMWF does in
// GRIB (t, q, u, v on every level, lnsp and the surface z on level 1, each
// message with its pv array), with fields of the test's choosing, and CDO's
// interpolation of such a file as an independent reference.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct ModelLevelSet {
  // 6 x 4 points, 10 degrees apart, latitudes 60 to 30 (north first),
  // longitudes 0 to 50.
  int ni = 6, nj = 4;
  double lat_north = 60, lon_west = 0, step = 10;
  std::vector<double> pv;  // a then b of the nlev + 1 half levels
  int edition = 2;
  long date = 20240101, time = 0;
  std::vector<int> leave_out;  // model levels not written
  // Surface pressure (Pa) and geopotential (m2 s-2) at column i and row j
  // (both from 0, rows from the north).
  std::function<double(int i, int j)> ps, zs;
  // A field's value at model level k of the column, whose full-level
  // pressure is p (Pa): temperature, specific humidity, winds.
  std::function<double(int k, double p, int i, int j)> t, q, u, v;
  long bits_per_value = 24;

  int nlev() const { return static_cast<int>(pv.size() / 2) - 1; }
  double half(int k, double ps_pa) const { return pv[static_cast<size_t>(k)] + pv[static_cast<size_t>(nlev() + 1 + k)] * ps_pa; }
  double full(int k, double ps_pa) const { return (half(k - 1, ps_pa) + half(k, ps_pa)) / 2; }
};

// Writes the set to `path` (appends).
void write_model_level_grib(const ModelLevelSet& set, const std::string& path);

// A set of `nlev` levels: pure pressure levels near the top, terrain
// following near the ground, like ECMWF's.
std::vector<double> smooth_pv(int nlev);

// Runs EXTRAPOLATE=1 cdo ml2pl on `grib` in `dir`, to pressures `levels_pa`,
// into `dir`/cdo_ml2pl.nc; false when CDO fails.
bool run_cdo_ml2pl(const std::string& dir, const std::string& grib, const std::vector<double>& levels_pa);

// Variable `name` (t, q, u, v) of that file at every level: values[level
// index][row from the north][column]. Empty when it is not there.
std::vector<std::vector<double>> read_cdo_ml2pl(const std::string& dir, const std::string& name);

}  // namespace testing_support
