// First pass over the data as read: the land-sea mask reduced to 0/1, and
// the input's missing marker (9.999e20) replaced by the system's markers.
// All tests are exact, ordered single-precision comparisons, so a NaN is
// never taken for a marker and is left as it is.
#pragma once

#include <cstddef>

#include "input/input_reader.h"

namespace i2m {

// Below 0.1 becomes 0.0, 0.1 or more becomes 1.0, NaN stays. Runs before
// the marker mapping, so a masked-out marker becomes 1.0.
void screen_land_sea_mask(float* mask, size_t points);

// input_missing_flag becomes missing_flag (the six 3-D fields).
void screen_upper_air_markers(float* values, size_t points);

// input_missing_flag becomes 0.0 (the surface fields).
void screen_surface_markers(float* values, size_t points);

// Screens one input record as soon as it has been read, while it is still
// in cache. Every point is independent, so this gives the same result as
// screening the whole field set after the read.
void screen_record(InputField field, int32_t level, float* slice, size_t points);

}  // namespace i2m
