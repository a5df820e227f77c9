// The closing report of sample surface values on the log.
#pragma once

#include <cstdint>

namespace i2m {

// Logs "writing these sfc values to the ZEPwrk  file...", then for each of
// the nsfcfld slices the value at (im/2, jm/2), then for each the value at
// (3 im/4, 3 jm/4) (1-based indices, integer division).
void report_surface_values(const float* slp, int32_t im, int32_t jm, int32_t nsfcfld);

}  // namespace i2m
