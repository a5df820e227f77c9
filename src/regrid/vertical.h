// From model (hybrid) levels to pressure levels, column by column: the
// pressures of the levels, the geopotential integrated upward from the
// surface on the half levels, and the values at each pressure level
// asked for, interpolated linearly in pressure between the levels that
// bracket it, or extrapolated below the lowest model level and the ground
// by ECMWF's rules. Every computation in double precision, each result
// rounded once to float.
//
// Levels: half levels k + 1/2 for k = 0 (the top, p = 0 for ECMWF's sets)
// to nlev (the ground); full levels k = 1 (the top) to nlev:
//   p(k+1/2) = a(k+1/2) + b(k+1/2) ps,  p(k) = (p(k-1/2) + p(k+1/2)) / 2.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/parallel.h"

namespace i2m {

inline constexpr double kDryAirGasConstant = 287.06;  // Rd, J kg-1 K-1
inline constexpr double kVirtualTemperatureFactor = 0.609133;  // Rv / Rd - 1
inline constexpr double kStandardLapseRate = 0.0065;  // K m-1

// A vertical grid of hybrid levels: a (Pa) and b of its nlev + 1 half
// levels, top first.
struct HybridLevels {
  int nlev = 0;
  std::vector<double> a, b;

  // The pressure of half level k + 1/2 (k = 0 .. nlev) and of full level k
  // (1 .. nlev) for surface pressure ps.
  double half(int k, double ps) const { return a[static_cast<size_t>(k)] + b[static_cast<size_t>(k)] * ps; }
  double full(int k, double ps) const { return (half(k - 1, ps) + half(k, ps)) / 2; }
};

// From GRIB's pv array (the a of the nlev + 1 half levels, then their b);
// an empty result for an array of odd length or fewer than four values.
HybridLevels hybrid_levels_from_pv(const std::vector<double>& pv);

// The highest full level the interpolation to `lowest_pa` (the output
// level of lowest pressure) must reach wherever the surface pressure is at
// most `ps_max`: the largest k whose pressure is at most lowest_pa; 0 when
// lowest_pa lies above the top full level.
int highest_level_needed(const HybridLevels& levels, double lowest_pa, double ps_max);

// The quantities interpolated, in the order of the outputs.
enum class ColumnQuantity { temperature, specific_humidity, zonal_wind, meridional_wind, height, count };

// One data time's columns on `points` points: give the surface, then the
// model levels from the lowest (nlev) upward without a gap, then read the
// outputs. Outputs are held as float, `points` values per output level.
class ColumnInterpolation {
 public:
  // `output_pa`: the pressure levels asked for, in any order. The storage
  // is allocated once, for every data time.
  ColumnInterpolation(std::vector<double> output_pa, size_t points);

  // Starts a data time on `levels`: surface pressure ps (Pa) and surface
  // geopotential zs (m2 s-2) at every point.
  void start(const HybridLevels& levels, const double* ps, const double* zs);

  // The values of one model level at every point: temperature (K),
  // specific humidity (kg/kg), zonal and meridional wind (m/s).
  struct LevelValues {
    const double* t;
    const double* q;
    const double* u;
    const double* v;
  };

  // Model level k, and the level below it (k + 1; not read for k = nlev),
  // whose arrays the caller keeps unchanged from the call before: k is
  // nlev first, then one less each call. Points are shared out over the
  // pool's workers when one is given.
  void add_level(int k, const LevelValues& level, const LevelValues& below, WorkerPool* pool = nullptr);

  // After the last level: "" when every output level has been reached at
  // every point, else which level was not, and where.
  std::string unreached() const;

  // The values of `quantity` at output level `n` (in the order given):
  // height is the geopotential divided by g, in m.
  const float* values(ColumnQuantity quantity, size_t n) const;

 private:
  void add_level_to(size_t first, size_t last, int k, const LevelValues& level, const LevelValues& below);
  void extrapolate(size_t p, double t, double q, double u, double v);
  float* out(ColumnQuantity quantity, size_t n);

  HybridLevels levels_;
  std::vector<double> output_pa_;  // highest pressure first
  std::vector<size_t> order_;      // output_pa_[i] is the output level order_[i] given
  size_t points_;
  int next_level_ = 0;
  // Per point: the surface, the geopotential of the half level below the
  // level in hand, and the next output level to reach on full and on half
  // levels. The pressures of the levels are computed again where needed:
  // cheaper than carrying them through memory.
  std::vector<double> ps_, zs_, phi_below_;
  std::vector<uint16_t> next_full_, next_half_;
  std::vector<float> out_;  // quantity, output level (given order), point
};

// The extrapolation below the lowest full level, one point: pL and TL the
// pressure and temperature of the lowest full level, ps and zs the surface
// pressure (Pa) and geopotential (m2 s-2), P the pressure asked for.
double temperature_below_lowest_level(double p, double p_lowest, double t_lowest, double ps, double zs);
double geopotential_below_ground(double p, double p_lowest, double t_lowest, double ps, double zs);

}  // namespace i2m
