// The saturation vapour pressure table: esat over liquid water, in hPa, for
// every hundredth of a kelvin from 150.00 K to 450.00 K. Filled once by
// es_ini() at start-up and only read afterwards; it is the one piece of
// global mutable state of the program.
#pragma once

#include <cstdint>

namespace i2m {

inline constexpr int32_t kEsatFirstCode = 15000;  // 150.00 K
inline constexpr int32_t kEsatLastCode = 45000;   // 450.00 K
inline constexpr int32_t kEsatEntries = kEsatLastCode - kEsatFirstCode + 1;

// Entry for temperature code N (N / 100 K) sits at esat[N - 15000].
extern float esat[kEsatEntries];

// Computes every entry (Goff-Gratch, single precision throughout).
void es_ini();

// The table index a temperature (K) reads: the single-precision product
// 100 T truncated toward zero, held to the codes 15000..45000. A NaN or a
// product beyond the 32-bit range reads code 15000, as the most negative
// 32-bit integer would, without the undefined float-to-int conversion.
inline int32_t esat_index(float temperature) {
  const float product = 100.0f * temperature;
  if (!(product >= static_cast<float>(kEsatFirstCode))) return 0;  // also NaN
  if (product >= static_cast<float>(kEsatLastCode)) return kEsatEntries - 1;
  return static_cast<int32_t>(product) - kEsatFirstCode;
}

}  // namespace i2m
