// The ERA5-sized data set of the importer's benchmark, shared by the writers
// of its GRIB and NetCDF copies: 37 pressure levels of six fields and the
// twelve single-level fields, with values like the real ones (smooth
// large-scale structure and small noise), so that packing and compression
// meet what they meet in real files.
#pragma once

#include <cstdint>
#include <vector>

struct Era5BenchVariable {
  const char* name;   // ERA5's short name
  long param_id;
  bool upper_air;
  const char* level_type;  // GRIB1 level type
  long top_cm, bottom_cm;  // soil layers
  const char* units;
};

inline constexpr int kEra5BenchVariableCount = 18;
extern const Era5BenchVariable kEra5BenchVariables[kEra5BenchVariableCount];

// 1000 hPa down to 1 hPa, ERA5's 37 levels.
std::vector<long> era5_bench_levels();

// Variable `variable` at `level` (hPa; ignored for single-level fields) on
// an ni x nj global grid stored north first, in the variable's units.
std::vector<double> era5_field_values(int variable, long level, int ni, int nj);

// The same at one point (degrees), with `noise` in [-0.5, 0.5).
double era5_point_value(int variable, long level, double lat_degrees, double lon_degrees, double noise);

// A pseudo-random noise for the points of one field, the same on every
// platform.
struct BenchNoise {
  explicit BenchNoise(int variable, long level)
      : state(static_cast<uint64_t>(variable * 100 + level) * 0x9E3779B97F4A7C15ull + 12345) {}
  double next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 40) / 16777216.0 - 0.5;
  }
  uint64_t state;
};
