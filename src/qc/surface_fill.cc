#include "qc/surface_fill.h"

#include <cstring>

#include "common/constants.h"
#include "common/log_line.h"

namespace i2m {
namespace {

constexpr int32_t kFirstSoilSlice = 5;
constexpr int32_t kSoilTemperatureLayer2 = 7;
constexpr int32_t kSoilMoistureLayer2 = 8;

void cap_soil_moisture(float* slice, size_t points) {
  constexpr float cap = 0.6f;
  constexpr float replacement = 0.3f;
  for (size_t p = 0; p < points; ++p) slice[p] = slice[p] > cap ? replacement : slice[p];
}

// Within the pass the east neighbour has not been visited yet, so a run of
// zeros loses one point at its eastern end per pass.
bool east_pass(float* row, int32_t im) {
  bool changed = false;
  for (int32_t i = 0; i + 1 < im; ++i) {
    if (row[i] == 0.0f && row[i + 1] != 0.0f) {
      row[i] = row[i + 1];
      changed = true;
    }
  }
  return changed;
}

// The west neighbour has already been updated, so one pass fills a whole
// run of zeros that has any non-zero value west of it.
bool west_pass(float* row, int32_t im) {
  bool changed = false;
  for (int32_t i = 1; i < im; ++i) {
    if (row[i] == 0.0f && row[i - 1] != 0.0f) {
      row[i] = row[i - 1];
      changed = true;
    }
  }
  return changed;
}

// A missing layer 3 or 4 becomes a copy of layer 2 of the same quantity,
// which has already been capped and zero-filled.
void report_missing_slice(FieldSet& fs, int32_t n) {
  log(LogLine().text("SURFACE DATA MISSING... ").integer(n));
  int32_t source = 0;
  if (n == 9 || n == 11) {
    log(LogLine().text("filling soil temp data..."));
    source = kSoilTemperatureLayer2;
  } else if (n == 10 || n == 12) {
    log(LogLine().text("filling soil moisture data..."));
    source = kSoilMoistureLayer2;
  }
  if (source != 0) {
    std::memcpy(fs.slice(fs.slp, n), fs.slice(fs.slp, source), fs.slice_points() * sizeof(float));
  }
}

}  // namespace

void zero_fill_row(float* row, int32_t im) {
  for (int iteration = 0; iteration < kZeroFillIterations; ++iteration) {
    const bool east_changed = east_pass(row, im);
    const bool west_changed = west_pass(row, im);
    // An iteration that changes nothing leaves the row at its fixed point.
    if (!east_changed && !west_changed) return;
  }
}

void zero_fill_slice(float* slice, int32_t im, int32_t jm) {
  for (int32_t j = 0; j < jm; ++j) zero_fill_row(slice + static_cast<size_t>(j) * im, im);
}

void fill_surface_fields(FieldSet& fs) {
  log(LogLine().text("going to use nsfcfld= ").integer(nsfcfld));
  for (int32_t n = 6; n <= nsfcfld; n += 2) cap_soil_moisture(fs.slice(fs.slp, n), fs.slice_points());
  for (int32_t n = kFirstSoilSlice; n <= nsfcfld; ++n) {
    if (fs.slice(fs.slp, n)[0] == missing_flag) report_missing_slice(fs, n);
    zero_fill_slice(fs.slice(fs.slp, n), fs.im, fs.jm);
  }
}

}  // namespace i2m
