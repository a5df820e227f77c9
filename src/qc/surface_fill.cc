#include "qc/surface_fill.h"

#include <algorithm>
#include <cstring>

#include "common/constants.h"
#include "common/log_line.h"
#include "input/record_layout.h"

namespace i2m {
namespace {

void cap_soil_moisture(float* slice, size_t points) {
  constexpr float cap = 0.6f;
  constexpr float replacement = 0.3f;
  for (size_t p = 0; p < points; ++p) slice[p] = slice[p] > cap ? replacement : slice[p];
}

// What the fifteen iterations do to one run of zeros [start, end), worked
// out once. In the first east pass the east neighbour has not been visited
// yet, so only the run's eastern point changes: it takes the east
// neighbour's value. In the first west pass the west neighbour has already
// been updated, so a run with a value west of it is filled whole from that
// value. Only a run at the row's west end survives the first iteration; each
// later east pass then moves its eastern end one point west, so fifteen
// iterations give its easternmost (up to) fifteen points the first value of
// the row. A row of zeros alone stays as it is.
void fill_zero_run(float* row, int32_t im, int32_t start, int32_t end) {
  const bool has_east_neighbour = end < im;
  if (start == 0) {
    if (!has_east_neighbour) return;
    std::fill(row + std::max(0, end - kZeroFillIterations), row + end, row[end]);
    return;
  }
  int32_t west_filled_end = end;
  if (has_east_neighbour) row[--west_filled_end] = row[end];
  std::fill(row + start, row + west_filled_end, row[start - 1]);
}

// A missing layer 3 or 4 becomes a copy of layer 2 of the same quantity,
// which has already been capped and zero-filled.
void report_missing_slice(FieldSet& fs, int32_t n) {
  log(LogLine().text("SURFACE DATA MISSING... ").integer(n));
  int32_t source = 0;
  if (n == soil_temperature_slice(3) || n == soil_temperature_slice(4)) {
    log(LogLine().text("filling soil temp data..."));
    source = soil_temperature_slice(2);
  } else if (n == soil_moisture_slice(3) || n == soil_moisture_slice(4)) {
    log(LogLine().text("filling soil moisture data..."));
    source = soil_moisture_slice(2);
  }
  if (source != 0) {
    std::memcpy(fs.slice(fs.slp, n), fs.slice(fs.slp, source), fs.slice_points() * sizeof(float));
  }
}

}  // namespace

void zero_fill_row(float* row, int32_t im) {
  int32_t i = 0;
  while (i < im) {
    if (row[i] != 0.0f) {  // NaN included: it is not zero
      ++i;
      continue;
    }
    const int32_t start = i;
    while (i < im && row[i] == 0.0f) ++i;  // -0.0 included
    fill_zero_run(row, im, start, i);
  }
}

void zero_fill_slice(float* slice, int32_t im, int32_t jm) {
  for (int32_t j = 0; j < jm; ++j) zero_fill_row(slice + static_cast<size_t>(j) * im, im);
}

void fill_surface_fields(FieldSet& fs) {
  log(LogLine().text("going to use nsfcfld= ").integer(nsfcfld));
  for (int layer = 1; layer <= kSoilLayers; ++layer) {
    cap_soil_moisture(fs.slice(fs.slp, soil_moisture_slice(layer)), fs.slice_points());
  }
  for (int32_t n = soil_temperature_slice(1); n <= nsfcfld; ++n) {
    if (fs.slice(fs.slp, n)[0] == missing_flag) report_missing_slice(fs, n);
    zero_fill_slice(fs.slice(fs.slp, n), fs.im, fs.jm);
  }
}

}  // namespace i2m
