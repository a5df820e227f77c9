#include "thermo/humidity.h"

#include <algorithm>

#include "thermo/estab.h"

namespace i2m {
namespace {

// Points are taken in blocks small enough to stay in the first-level cache:
// the table reads go through a small buffer so that the arithmetic, the
// costly division included, runs on whole vectors.
constexpr size_t kBlock = 1024;

void convert_block(const float* tp, const float* rh, float pressure, float* qnew2, size_t n) {
  float e[kBlock];
  for (size_t p = 0; p < n; ++p) e[p] = esat[esat_index(tp[p])];
  for (size_t p = 0; p < n; ++p) {
    const float w = (kVapourRatioPerPercent * e[p]) / (pressure - e[p]);
    qnew2[p] = rh[p] * w;
  }
}

}  // namespace

void convert_humidity_level(const float* tp, const float* rh, float pressure, float* qnew2, size_t points) {
  es_ini();  // a no-op once the table is filled; no reader finds it empty
  for (size_t start = 0; start < points; start += kBlock) {
    const size_t n = std::min(kBlock, points - start);
    convert_block(tp + start, rh + start, pressure, qnew2 + start, n);
  }
}

}  // namespace i2m

namespace i2m {

void relative_humidity_level(const float* tp, const float* q, float pressure, float* rh, size_t points) {
  const double p = pressure;
  const double ratio = static_cast<double>(kVapourRatioPerPercent);
  const float* table = saturation_table();
  for (size_t i = 0; i < points; ++i) {
    const double e = table[esat_index(tp[i])];
    rh[i] = static_cast<float>(static_cast<double>(q[i]) * (p - e) / (ratio * e));
  }
}

}  // namespace i2m
