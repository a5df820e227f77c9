// The colour scale of a picture: the viridis colour map, and the round
// values a colour bar is labelled with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace inspect {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// Missing (-99999.0), NaN and infinite points.
inline constexpr Rgb kMissingColour{255, 0, 255};

// Viridis at t in [0, 1].
Rgb viridis(double t);

// The span of the colours and the values labelled on the bar.
struct ColourScale {
  double low = 0, high = 1;
  std::vector<double> ticks;
  int decimals = 0;  // the labels' decimals
};

// A scale over the values from `low` to `high`, widened to round values:
// the tick step is 1, 2, 2.5 or 5 times a power of ten, the smallest that
// gives at most 8 ticks, and the span runs from a tick to a tick (so 5 to 8
// of them). A range of one value is widened around it.
ColourScale round_scale(double low, double high);

// A scale over exactly `low` to `high` (a range the user fixed), with the
// round values inside it as ticks, 5 to 8 where a step allows.
ColourScale fixed_scale(double low, double high);

// "12.5", "-7.5", "1000": a tick value with the scale's decimals.
std::string tick_label(const ColourScale& scale, double value);

}  // namespace inspect
