// Cleaning of the soil fields (slp slices 5 to 12) before anything is
// written: moisture cap, replacement of missing deep layers, and the fill
// of zero values along each west-east row. Nothing here stops the run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/field_set.h"

namespace i2m {

inline constexpr int kZeroFillIterations = 15;

// Logs "going to use nsfcfld= ", caps soil moisture (> 0.6 becomes 0.3),
// then for slices 5..12 in order reports a slice missing at its first
// point (copying layer 2 into a missing layer 3 or 4) and zero-fills it.
void fill_surface_fields(FieldSet& fs);

// Fifteen iterations of an east pass then a west pass, in place, over one
// row of `im` values; a zero (or -0.0) takes its neighbour's value when that
// is not zero. Done in one scan that gives each run of zeros what the
// fifteen passes would; the bits are those of all fifteen iterations.
void zero_fill_row(float* row, int32_t im);

// zero_fill_row over every row of an im x jm slice.
void zero_fill_slice(float* slice, int32_t im, int32_t jm);

}  // namespace i2m
