#include "qc/rh_fix.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/constants.h"
#include "common/failure.h"
#include "common/log_line.h"

namespace i2m {
namespace {

struct Column {
  float* rh;
  const float* pr;
  size_t points;

  float* level(int32_t k) const { return rh + (static_cast<size_t>(k) - 1) * points; }
  bool missing(int32_t k) const { return level(k)[0] == missing_flag; }
};

// Pressures in the copy lines are rounded half away from zero. A value that
// no 32-bit integer can hold (or a NaN) is shown as the most negative one
// rather than left to an undefined conversion.
int32_t rounded(float pressure) {
  const float r = std::round(pressure);
  if (!(r >= -2147483648.0f && r < 2147483648.0f)) return INT32_MIN;
  return static_cast<int32_t>(r);
}

void copy_level(const Column& c, int32_t from, int32_t to) {
  log(LogLine()
          .text("Copying")
          .integer(rounded(c.pr[from - 1]))
          .text(" mb to")
          .integer(rounded(c.pr[to - 1]))
          .text(" mb."));
  std::memcpy(c.level(to), c.level(from), c.points * sizeof(float));
}

[[noreturn]] void patch_failed(const char* text) {
  log(LogLine().text(text));
  stop_on_data();
}

void patch_bottom(const Column& c, int32_t lm) {
  int32_t k = 2;
  for (;; ++k) {
    if (k > lm) patch_failed("RH patch did not work.");
    if (!c.missing(k)) break;
  }
  for (int32_t m = k - 1; m >= 1; --m) copy_level(c, m + 1, m);
}

void patch_top(const Column& c, int32_t lm) {
  int32_t k = lm - 1;
  for (;; --k) {
    log(LogLine().text("checking RH at lev= ").real(c.pr[k - 1]));
    if (!c.missing(k)) break;
  }
  for (int32_t m = k + 1; m <= lm; ++m) copy_level(c, m - 1, m);
}

}  // namespace

void rh_fix(int32_t im, int32_t jm, int32_t lm, float* rh, const float* pr) {
  const Column c{rh, pr, static_cast<size_t>(im) * static_cast<size_t>(jm)};
  if (c.missing(1)) patch_bottom(c, lm);
  // Level 1 is present now, so the downward scan ends at level 1 at the latest.
  if (c.missing(lm)) patch_top(c, lm);
  for (int32_t k = 1; k <= lm; ++k) {
    if (c.missing(k)) patch_failed("RH patch did not work..");
  }
}

}  // namespace i2m
