// Specific humidity from temperature, relative humidity and level pressure.
#pragma once

#include <cstddef>

namespace i2m {

// One level: fills `points` values of qnew2 with rh * (0.00622 e) / (p - e),
// e the esat entry for tp (the table is filled first when it is not yet),
// p `pressure` (hPa). Nothing is tested or clamped: missing markers, p == e
// (an infinity) and p < e (a negative value) go through as IEEE gives them.
void convert_humidity_level(const float* tp, const float* rh, float pressure, float* qnew2, size_t points);

}  // namespace i2m
