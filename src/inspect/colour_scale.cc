#include "inspect/colour_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace inspect {
namespace {

uint8_t channel(double c) { return static_cast<uint8_t>(std::lround(255.0 * std::clamp(c, 0.0, 1.0))); }

constexpr double kMultipliers[] = {1, 2, 2.5, 5};

// Steps in increasing order from below (high - low) / 8 up.
std::vector<double> candidate_steps(double span) {
  std::vector<double> steps;
  const double start = std::floor(std::log10(span / 8.0)) - 1;
  for (double e = start; e <= start + 3; ++e) {
    for (double m : kMultipliers) steps.push_back(m * std::pow(10.0, e));
  }
  return steps;
}

// Decimals that show every multiple of `step` exactly: one more for 2.5.
int decimals_of(double step) {
  int d = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
  const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  if (std::fabs(mantissa - 2.5) < 1e-6) ++d;
  return d;
}

std::vector<double> multiples(double from, double to, double step) {
  std::vector<double> ticks;
  const double first = std::ceil(from / step - 1e-9), last = std::floor(to / step + 1e-9);
  for (double k = first; k <= last; ++k) ticks.push_back(k * step == 0 ? 0.0 : k * step);
  return ticks;
}

}  // namespace

// A polynomial fit to matplotlib's viridis, within a few thousandths of it.
Rgb viridis(double t) {
  t = std::clamp(t, 0.0, 1.0);
  static const double c[7][3] = {
      {0.2777273272234177, 0.005407344544966578, 0.3340998053353061},
      {0.1050930431085774, 1.404613529898575, 1.384590162594685},
      {-0.3308618287255563, 0.214847559468213, 0.09509516302823659},
      {-4.634230498983486, -5.799100973351585, -19.33244095627987},
      {6.228269936347081, 14.17993336680509, 56.69055260068105},
      {4.776384997670288, -13.74514537774601, -65.35303263337234},
      {-5.435455855934631, 4.645852612178535, 26.3124352495832},
  };
  double rgb[3];
  for (int ch = 0; ch < 3; ++ch) {
    double v = c[6][ch];
    for (int n = 5; n >= 0; --n) v = c[n][ch] + t * v;
    rgb[ch] = v;
  }
  return {channel(rgb[0]), channel(rgb[1]), channel(rgb[2])};
}

ColourScale round_scale(double low, double high) {
  if (!(high > low)) {
    const double pad = low == 0 ? 1.0 : std::fabs(low) * 0.01;
    low -= pad;
    high += pad;
  }
  for (double step : candidate_steps(high - low)) {
    const double from = std::floor(low / step + 1e-9) * step, to = std::ceil(high / step - 1e-9) * step;
    std::vector<double> ticks = multiples(from, to, step);
    if (ticks.size() <= 8) return {from, to, std::move(ticks), decimals_of(step)};
  }
  return {low, high, {low, high}, 3};  // not reached: some step always fits
}

ColourScale fixed_scale(double low, double high) {
  if (!(high > low)) return round_scale(low, high);
  ColourScale best{low, high, {}, 0};
  for (double step : candidate_steps(high - low)) {
    std::vector<double> ticks = multiples(low, high, step);
    if (ticks.size() > 8) continue;
    // The first step with at most 8 ticks inside; fewer than 5 only when
    // no round step gives more.
    best = {low, high, std::move(ticks), decimals_of(step)};
    break;
  }
  return best;
}

std::string tick_label(const ColourScale& scale, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", scale.decimals, value);
  const std::string s = buffer;
  if (s.find_first_not_of("-0.") == std::string::npos) return "0";  // no "-0" nor "0.0"
  return s;
}

}  // namespace inspect
