#include "era5_fields.h"

#include <algorithm>
#include <cmath>
#include <iterator>

const Era5BenchVariable kEra5BenchVariables[kEra5BenchVariableCount] = {
    {"z", 129, true, "isobaricInhPa", 0, 0, "m**2 s**-2"},  {"r", 157, true, "isobaricInhPa", 0, 0, "%"},
    {"q", 133, true, "isobaricInhPa", 0, 0, "kg kg**-1"},   {"t", 130, true, "isobaricInhPa", 0, 0, "K"},
    {"u", 131, true, "isobaricInhPa", 0, 0, "m s**-1"},     {"v", 132, true, "isobaricInhPa", 0, 0, "m s**-1"},
    {"lsm", 172, false, "surface", 0, 0, "(0 - 1)"},        {"msl", 151, false, "surface", 0, 0, "Pa"},
    {"sp", 134, false, "surface", 0, 0, "Pa"},              {"z", 129, false, "surface", 0, 0, "m**2 s**-2"},
    {"stl1", 139, false, "depthBelowLandLayer", 0, 7, "K"},  {"swvl1", 39, false, "depthBelowLandLayer", 0, 7, "m**3 m**-3"},
    {"stl2", 170, false, "depthBelowLandLayer", 7, 28, "K"}, {"swvl2", 40, false, "depthBelowLandLayer", 7, 28, "m**3 m**-3"},
    {"stl3", 183, false, "depthBelowLandLayer", 28, 100, "K"}, {"swvl3", 41, false, "depthBelowLandLayer", 28, 100, "m**3 m**-3"},
    {"stl4", 236, false, "depthBelowLandLayer", 100, 255, "K"}, {"swvl4", 42, false, "depthBelowLandLayer", 100, 255, "m**3 m**-3"},
};

namespace {
const long kLevels[] = {1000, 975, 950, 925, 900, 875, 850, 825, 800, 775, 750, 700, 650, 600, 550, 500, 450, 400, 350,
                        300,  250, 225, 200, 175, 150, 125, 100, 70,  50,  30,  20,  10,  7,   5,   3,   2,   1};
}  // namespace

std::vector<long> era5_bench_levels() { return {std::begin(kLevels), std::end(kLevels)}; }

// Smooth large-scale structure plus small noise, in each field's own range,
// so that packing works on values like the real ones.
double era5_point_value(int variable, long level, double lat_degrees, double lon_degrees, double noise) {
  const double p = static_cast<double>(level);
  const double lat = lat_degrees * M_PI / 180.0, lon = lon_degrees * M_PI / 180.0;
  const double wave = std::sin(3 * lon + lat) * std::cos(lat);
  const double land = std::sin(2 * lon) * std::cos(3 * lat) > 0.2 ? 1.0 : 0.0;
  switch (variable) {
    case 0: return 9.80665 * (44330.8 * (1 - std::pow(p / 1013.25, 0.190263)) + 200 * wave + 5 * noise);
    case 1: return 50 + 45 * wave + 4 * noise;
    case 2: return std::max(0.0, 0.015 * std::cos(lat) * std::cos(lat) * p / 1000 * (0.6 + 0.4 * wave));
    case 3: return 200 + 80 * std::cos(lat) * p / 1000 + 5 * wave + noise;
    case 4: return 30 * std::cos(lat) * (1 - p / 1100) + 8 * wave + noise;
    case 5: return 10 * wave + noise;
    case 6: return land;
    case 7: return 101325 + 1500 * wave + 20 * noise;
    case 8: return 101325 - 20000 * land * (0.5 + 0.5 * wave) + 20 * noise;
    case 9: return 9.80665 * 2000 * land * (0.5 + 0.5 * wave);
    default: return (variable % 2 == 0) ? 250 + 40 * std::cos(lat) + 3 * wave + noise : land * (0.2 + 0.1 * wave);
  }
}

std::vector<double> era5_field_values(int variable, long level, int ni, int nj) {
  std::vector<double> v(static_cast<size_t>(ni) * nj);
  BenchNoise noise(variable, level);
  for (int j = 0; j < nj; ++j) {
    const double lat = 90.0 - 180.0 * j / (nj - 1);
    for (int i = 0; i < ni; ++i) {
      v[static_cast<size_t>(j) * ni + i] = era5_point_value(variable, level, lat, 360.0 * i / ni, noise.next());
    }
  }
  return v;
}
