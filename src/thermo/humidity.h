// Specific humidity from temperature, relative humidity and level pressure.
#pragma once

#include "input/field_set.h"

namespace i2m {

// Fills every point of fs.qnew2 with rh * (0.00622 e) / (pr(k) - e), e the
// esat entry for tp. Nothing is tested or clamped: missing markers, pr == e
// (an infinity) and pr < e (a negative value) go through as IEEE gives them.
void convert_humidity(FieldSet& fs);

// One level: `points` values of tp and rh at pressure `pressure` (hPa).
void convert_humidity_level(const float* tp, const float* rh, float pressure, float* qnew2,
                            size_t points);

}  // namespace i2m
