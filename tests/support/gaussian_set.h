// Test helper: a whole data time (the ERA5-like variables: z, r, q, t, u, v
// on pressure levels and the twelve surface fields) written as GRIB on a
// grid of ecCodes' samples (regular or reduced Gaussian, octahedral by its
// pl array), every value from a function of the variable, level and the
// point's latitude and longitude as ecCodes locates it.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

struct SampleGrid {
  std::string sample;     // "reduced_gg_pl_32_grib2", "regular_gg_pl_grib2", ...
  std::vector<long> pl;   // a reduced grid's points per row, north first (octahedral), or empty for the sample's
  long n = 0;             // its N, with pl
  // Keys set on the sample (a regular grid's Ni, latitudeOfFirstGridPointInDegrees, ...).
  std::vector<std::pair<std::string, long>> long_keys;
  std::vector<std::pair<std::string, double>> double_keys;
};

// The value of `variable` (an Era5Variable) at level index `level` (of
// {1000, 500} hPa; 0 for a surface variable) at (lat, lon), in the source's
// units; NaN for a point missing (a bitmap).
using PointValue = std::function<double(int variable, int level, double lat, double lon)>;

// Appends the data time (2024-01-01 00 UTC) to `path`, IEEE-packed so that
// every value is stored as the float it rounds to.
// `which` chooses the variables written (all when empty).
void write_on_grid(const SampleGrid& grid, const PointValue& value, const std::string& path,
                   const std::function<bool(int variable)>& which = {});

// The octahedral rows of N (20 + 4 (i - 1) points in row i from a pole).
std::vector<long> octahedral_pl(long n);

// The levels written, hPa.
inline const std::vector<long> kGaussianSetLevels = {1000, 500};

}  // namespace testing_support
