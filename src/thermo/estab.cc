#include "thermo/estab.h"

#include <cmath>
#include <mutex>

namespace i2m {

float esat[kEsatEntries];

// Every operation is done in float and rounded on its own (the build
// forbids contraction into fused multiply-adds); std::log10 and std::pow on
// float arguments are the platform's single-precision functions. Do not
// "improve" this to double: the table is compared bit for bit.
float saturation_pressure(int32_t code) {
  const float t = 0.01f * static_cast<float>(code);
  const float a = 11.344f - t * 0.0303998f;
  const float b = 3.49149f - 1302.8844f / t;
  const float g = 23.832241f - 5.02808f * std::log10(t);
  const float h = g - 1.3816e-7f * std::pow(10.0f, a);
  const float x = (std::pow(10.0f, b) * 0.0081328f + h) - 2949.076f / t;
  return std::pow(10.0f, x);
}

void es_ini() {
  static std::once_flag filled;
  std::call_once(filled, [] {
    for (int32_t code = kEsatFirstCode; code <= kEsatLastCode; ++code) {
      esat[code - kEsatFirstCode] = saturation_pressure(code);
    }
  });
}

const float* saturation_table() {
  es_ini();
  return esat;
}

}  // namespace i2m
