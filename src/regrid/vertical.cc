#include "regrid/vertical.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "common/constants.h"
#include "common/number_text.h"

namespace i2m {
namespace {

constexpr double kRd = kDryAirGasConstant;
constexpr double kLapse = kStandardLapseRate;
// The top layer's log-pressure thickness is taken from 0.1 Pa, not from
// its upper bound of 0 Pa.
constexpr double kTopPressure = 0.1;
constexpr size_t kChunk = 16384;  // points per job

// T*: the temperature of the surface extrapolated from the lowest full
// level with the standard lapse rate.
double surface_temperature(double p_lowest, double t_lowest, double ps) {
  return t_lowest * (1.0 + kLapse * (kRd / kGravity) * (ps / p_lowest - 1.0));
}

// Exponent of the temperature profile below the ground.
double lapse_exponent(double t0, double t_surface, double zs, bool equal_within_a_millionth) {
  if (std::fabs(zs) <= 1e-4) return kRd * kLapse / kGravity;
  const double difference = t0 - t_surface;
  if (equal_within_a_millionth ? std::fabs(difference) <= 1e-6 : difference < 1e-6) return 0;
  return kRd * difference / zs;
}

}  // namespace

HybridLevels hybrid_levels_from_pv(const std::vector<double>& pv) {
  HybridLevels levels;
  if (pv.size() < 4 || pv.size() % 2 != 0) return levels;
  const size_t half = pv.size() / 2;
  levels.nlev = static_cast<int>(half) - 1;
  levels.a.assign(pv.begin(), pv.begin() + static_cast<ptrdiff_t>(half));
  levels.b.assign(pv.begin() + static_cast<ptrdiff_t>(half), pv.end());
  return levels;
}

int highest_level_needed(const HybridLevels& levels, double lowest_pa, double ps_max) {
  for (int k = levels.nlev; k >= 1; --k) {
    if (levels.full(k, ps_max) <= lowest_pa) return k;
  }
  return 0;
}

double temperature_below_lowest_level(double p, double p_lowest, double t_lowest, double ps, double zs) {
  const double t_surface = surface_temperature(p_lowest, t_lowest, ps);
  if (p <= ps) {
    double t = t_surface < 255.0 ? (255.0 + t_surface) / 2.0 : t_surface;
    if (t + kLapse * zs / kGravity > 290.5 && t > 290.5) t = (290.5 + t) / 2.0;
    return t_lowest + (t - t_lowest) * (p - p_lowest) / (ps - p_lowest);
  }
  const double h = zs / kGravity;
  double t0 = t_surface + kLapse * h;
  if (h > 2000.0 && t0 > 298.0) t0 = h < 2500.0 ? 0.002 * ((2500.0 - h) * t0 + (h - 2000.0) * 298.0) : 298.0;
  const double y = lapse_exponent(t0, t_surface, zs, false) * std::log(p / ps);
  return t_surface * (1.0 + y + y * y / 2.0 + y * y * y / 6.0);
}

double geopotential_below_ground(double p, double p_lowest, double t_lowest, double ps, double zs) {
  const double t_surface = surface_temperature(p_lowest, t_lowest, ps);
  double t = t_surface < 255.0 ? (255.0 + t_surface) / 2.0 : t_surface;
  double t0 = 0;
  if (t + kLapse * zs / kGravity > 290.5 && t > 290.5) {
    t = (290.5 + t) / 2.0;
    t0 = t;
  } else {
    t0 = std::min(t + kLapse * zs / kGravity, 290.5);
  }
  const double a = lapse_exponent(t0, t, zs, true);
  const double y = std::log(p / ps);
  return zs - kRd * t * y * (1.0 + a * y / 2.0 + (a * y) * (a * y) / 6.0);
}

ColumnInterpolation::ColumnInterpolation(std::vector<double> output_pa, size_t points) : points_(points) {
  order_.resize(output_pa.size());
  std::iota(order_.begin(), order_.end(), size_t{0});
  std::stable_sort(order_.begin(), order_.end(), [&](size_t x, size_t y) { return output_pa[x] > output_pa[y]; });
  for (size_t i : order_) output_pa_.push_back(output_pa[i]);
  for (std::vector<double>* v : {&ps_, &zs_, &phi_below_}) v->resize(points);
  next_full_.resize(points);
  next_half_.resize(points);
  out_.resize(static_cast<size_t>(ColumnQuantity::count) * output_pa_.size() * points);
}

void ColumnInterpolation::start(const HybridLevels& levels, const double* ps, const double* zs) {
  levels_ = levels;
  std::copy(ps, ps + points_, ps_.begin());
  std::copy(zs, zs + points_, zs_.begin());
  std::copy(zs, zs + points_, phi_below_.begin());
  std::fill(next_full_.begin(), next_full_.end(), 0);
  std::fill(next_half_.begin(), next_half_.end(), 0);
  next_level_ = levels_.nlev;
}

float* ColumnInterpolation::out(ColumnQuantity quantity, size_t n) {
  return out_.data() + (static_cast<size_t>(quantity) * output_pa_.size() + n) * points_;
}

const float* ColumnInterpolation::values(ColumnQuantity quantity, size_t n) const {
  return out_.data() + (static_cast<size_t>(quantity) * output_pa_.size() + n) * points_;
}

void ColumnInterpolation::add_level(int k, const LevelValues& level, const LevelValues& below, WorkerPool* pool) {
  if (k != next_level_ || k < 1) throw std::logic_error("model levels out of order");
  const size_t chunks = (points_ + kChunk - 1) / kChunk;
  auto job = [&](size_t c, int) { add_level_to(c * kChunk, std::min(points_, (c + 1) * kChunk), k, level, below); };
  if (pool != nullptr) {
    pool->run(chunks, job);
  } else {
    for (size_t c = 0; c < chunks; ++c) job(c, 0);
  }
  --next_level_;
}

// Below the lowest full level: temperature by the lapse-rate rules, the
// other quantities as on that level.
void ColumnInterpolation::extrapolate(size_t p, double t, double q, double u, double v) {
  const double p_lowest = levels_.full(levels_.nlev, ps_[p]);
  const size_t n_out = output_pa_.size();
  uint16_t& next = next_full_[p];
  while (next < n_out && output_pa_[next] > p_lowest) {
    const size_t n = order_[next];
    const double t_at = temperature_below_lowest_level(output_pa_[next], p_lowest, t, ps_[p], zs_[p]);
    out(ColumnQuantity::temperature, n)[p] = static_cast<float>(t_at);
    out(ColumnQuantity::specific_humidity, n)[p] = static_cast<float>(q);
    out(ColumnQuantity::zonal_wind, n)[p] = static_cast<float>(u);
    out(ColumnQuantity::meridional_wind, n)[p] = static_cast<float>(v);
    ++next;
  }
  uint16_t& next_half = next_half_[p];
  const double ground = levels_.half(levels_.nlev, ps_[p]);
  while (next_half < n_out && output_pa_[next_half] > ground) {
    const double phi = geopotential_below_ground(output_pa_[next_half], p_lowest, t, ps_[p], zs_[p]);
    out(ColumnQuantity::height, order_[next_half])[p] = static_cast<float>(phi / kGravity);
    ++next_half;
  }
}

void ColumnInterpolation::add_level_to(size_t first, size_t last, int k, const LevelValues& level,
                                       const LevelValues& below) {
  const size_t n_out = output_pa_.size();
  const bool lowest = k == levels_.nlev;
  for (size_t p = first; p < last; ++p) {
    const double ps = ps_[p];
    const double t = level.t[p];
    const double half_below = levels_.half(k, ps);
    const double above = levels_.half(k - 1, ps);
    const double thickness = k == 1 ? std::log(half_below / kTopPressure) : std::log(half_below / above);
    const double phi_below = phi_below_[p];
    const double phi_above = phi_below + kRd * t * (1.0 + kVirtualTemperatureFactor * level.q[p]) * thickness;
    phi_below_[p] = phi_above;
    if (lowest) extrapolate(p, t, level.q[p], level.u[p], level.v[p]);
    // The geopotential between the half levels that bracket P.
    for (uint16_t& n = next_half_[p]; n < n_out && output_pa_[n] >= above; ++n) {
      const double w = (half_below - output_pa_[n]) / (half_below - above);
      const double phi = phi_below + (phi_above - phi_below) * w;
      out(ColumnQuantity::height, order_[n])[p] = static_cast<float>(phi / kGravity);
    }
    if (lowest) continue;
    // The other quantities between the full levels that bracket P.
    const double full = (above + half_below) / 2.0;
    uint16_t& n = next_full_[p];
    if (n == n_out || output_pa_[n] < full) continue;
    const double full_below = (half_below + levels_.half(k + 1, ps)) / 2.0;
    for (; n < n_out && output_pa_[n] >= full; ++n) {
      const double w = (full_below - output_pa_[n]) / (full_below - full);
      const size_t at = order_[n];
      const auto between = [&](const double* here, const double* under) {
        return static_cast<float>(under[p] + (here[p] - under[p]) * w);
      };
      out(ColumnQuantity::temperature, at)[p] = between(level.t, below.t);
      out(ColumnQuantity::specific_humidity, at)[p] = between(level.q, below.q);
      out(ColumnQuantity::zonal_wind, at)[p] = between(level.u, below.u);
      out(ColumnQuantity::meridional_wind, at)[p] = between(level.v, below.v);
    }
  }
}

std::string ColumnInterpolation::unreached() const {
  const size_t n_out = output_pa_.size();
  for (size_t p = 0; p < points_; ++p) {
    const size_t reached = std::min(next_full_[p], next_half_[p]);
    if (reached == n_out) continue;
    return format_number(output_pa_[reached] / 100.0) + " hPa lies above model level " +
           std::to_string(next_level_ + 1) + " at point " + std::to_string(p + 1) + " (surface pressure " +
           format_number(ps_[p] / 100.0) + " hPa)";
  }
  return "";
}

}  // namespace i2m
