#include "qc/level_check.h"

#include "common/constants.h"
#include "common/failure.h"
#include "common/log_line.h"
#include "qc/rh_fix.h"

namespace i2m {
namespace {

bool level_missing(const FieldSet& fs, float* field, int32_t k) {
  return fs.slice(field, k)[0] == missing_flag;
}

[[noreturn]] void stop_at_level(const char* text, float pressure) {
  log(LogLine().text(text).real(pressure));
  stop_on_data();
}

}  // namespace

void check_and_patch_levels(FieldSet& fs) {
  log(LogLine().text("Check for any missing data"));
  for (int32_t k = 1; k <= fs.lm; ++k) {
    const float pressure = fs.pr[k - 1];
    if (level_missing(fs, fs.ht, k)) stop_at_level("Height data missing at level: ", pressure);
    if (level_missing(fs, fs.tp, k)) stop_at_level("Temperature data missing at level: ", pressure);
    if (level_missing(fs, fs.rh, k)) {
      log(LogLine().text("RH data missing at level: ").real(pressure));
      log(LogLine().text("Calling RH patch."));
      rh_fix(fs.im, fs.jm, fs.lm, fs.rh, fs.pr);
      continue;
    }
    if (level_missing(fs, fs.uw, k)) stop_at_level("U-wind data missing at level: ", pressure);
    if (level_missing(fs, fs.vw, k)) stop_at_level("V-wind data missing at level: ", pressure);
    if (level_missing(fs, fs.q, k)) stop_at_level("Spec. Humid. data missing at level: ", pressure);
  }
}

}  // namespace i2m
