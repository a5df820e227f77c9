// Vertical patch of a relative-humidity field with missing levels.
#pragma once

#include <cstdint>

namespace i2m {

// A level is missing when its first point equals missing_flag. Copies the
// lowest present level down over missing bottom levels, then the highest
// present level up over missing top levels, whole levels at a time, with a
// "Copying" log line per copy. Returns only when no level is missing;
// otherwise logs "RH patch did not work." (no level present) or
// "RH patch did not work.." (a gap between present levels) and stops the
// run on the data.
void rh_fix(int32_t im, int32_t jm, int32_t lm, float* rh, const float* pr);

}  // namespace i2m
