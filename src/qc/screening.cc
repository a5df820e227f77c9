#include "qc/screening.h"

#include "common/constants.h"

namespace i2m {

// The loops below are kept branch-free so that the compiler vectorises them.

void screen_land_sea_mask(float* mask, size_t points) {
  constexpr float threshold = 0.1f;
  for (size_t p = 0; p < points; ++p) {
    const float v = mask[p];
    mask[p] = v < threshold ? 0.0f : (v >= threshold ? 1.0f : v);
  }
}

void screen_upper_air_markers(float* values, size_t points) {
  for (size_t p = 0; p < points; ++p) {
    values[p] = values[p] == input_missing_flag ? missing_flag : values[p];
  }
}

void screen_surface_markers(float* values, size_t points) {
  for (size_t p = 0; p < points; ++p) {
    values[p] = values[p] == input_missing_flag ? 0.0f : values[p];
  }
}

void screen_record(InputField field, int32_t level, float* slice, size_t points) {
  if (field != InputField::slp) {
    screen_upper_air_markers(slice, points);
  } else if (level == kLandSeaMaskSlice) {
    screen_land_sea_mask(slice, points);  // leaves no marker to map
  } else {
    screen_surface_markers(slice, points);
  }
}

}  // namespace i2m
