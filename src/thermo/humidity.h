// Specific humidity from temperature, relative humidity and level pressure,
// the converter's formula, and its inverse for the importer.
#pragma once

#include <cstddef>

namespace i2m {

// The ratio of the gas constants of dry air and water vapour (0.622), per
// percent of relative humidity: q = r (0.00622 e) / (p - e).
inline constexpr float kVapourRatioPerPercent = 0.00622f;

// One level: fills `points` values of qnew2 with rh * (0.00622 e) / (p - e),
// e the esat entry for tp (the table is filled first when it is not yet),
// p `pressure` (hPa). Nothing is tested or clamped: missing markers, p == e
// (an infinity) and p < e (a negative value) go through as IEEE gives them.
void convert_humidity_level(const float* tp, const float* rh, float pressure, float* qnew2, size_t points);

// The exact inverse, for a source that gives specific humidity: r = q (p -
// e) / (0.00622 e) with e from the same table entry and the very constant
// (taken in double), computed in double and rounded once, so that the
// converter's q from this r is the source's q. Nothing is tested or
// clamped either.
void relative_humidity_level(const float* tp, const float* q, float pressure, float* rh, size_t points);

}  // namespace i2m
