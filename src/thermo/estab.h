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

// The entry for code N: Goff-Gratch at N / 100 K, single precision
// throughout, every operation rounded on its own.
float saturation_pressure(int32_t code);

// Computes every entry (Goff-Gratch, single precision throughout), once: a
// later call finds the table filled. The converter calls it first thing.
void es_ini();

// The table, filled first if es_ini() has not run: every reader outside
// the converter's own run takes the table from here, so that none can read
// it empty.
const float* saturation_table();

// The table index a temperature (K) reads: the single-precision product
// 100 T truncated toward zero, held to the codes 15000..45000. A product that
// no 32-bit integer holds (2^31 or more, +infinity) and a NaN read code 15000,
// as the most negative 32-bit integer they would convert to is raised to
// 15000; every product from 45000 up to the largest float below 2^31 reads
// code 45000. No float-to-int conversion is made outside the 32-bit range.
inline int32_t esat_index(float temperature) {
  constexpr float kTwoTo31 = 2147483648.0f;
  const float product = 100.0f * temperature;
  // !(a && b) also catches the NaN, for which every comparison is false.
  if (!(product >= static_cast<float>(kEsatFirstCode) && product < kTwoTo31)) return 0;
  if (product >= static_cast<float>(kEsatLastCode)) return kEsatEntries - 1;
  return static_cast<int32_t>(product) - kEsatFirstCode;
}

}  // namespace i2m
