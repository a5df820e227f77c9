#include "thermo/humidity.h"

#include "thermo/estab.h"

namespace i2m {

void convert_humidity_level(const float* tp, const float* rh, float pressure, float* qnew2,
                            size_t points) {
  for (size_t p = 0; p < points; ++p) {
    const float e = esat[esat_index(tp[p])];
    const float w = (0.00622f * e) / (pressure - e);
    qnew2[p] = rh[p] * w;
  }
}

void convert_humidity(FieldSet& fs) {
  const size_t points = fs.slice_points();
  for (int32_t k = 1; k <= fs.lm; ++k) {
    convert_humidity_level(fs.slice(fs.tp, k), fs.slice(fs.rh, k), fs.pr[k - 1],
                           fs.slice(fs.qnew2, k), points);
  }
}

}  // namespace i2m
