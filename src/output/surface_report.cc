#include "output/surface_report.h"

#include <cstddef>

#include "common/log_line.h"
#include "output/work_file.h"

namespace i2m {
namespace {

// Grids narrower than 2 points are rejected when the run control file is
// read, so both sample indices are at least 1.
void report_point(const float* slp, int32_t im, int32_t jm, int32_t nsfcfld, int32_t i, int32_t j) {
  const size_t points = static_cast<size_t>(im) * static_cast<size_t>(jm);
  const size_t offset = static_cast<size_t>(i - 1) + static_cast<size_t>(j - 1) * static_cast<size_t>(im);
  for (int32_t n = 1; n <= nsfcfld; ++n) {
    log(LogLine().text("field, value ").integer(n).real(slp[static_cast<size_t>(n - 1) * points + offset]));
  }
}

}  // namespace

void report_surface_values(const float* slp, int32_t im, int32_t jm, int32_t nsfcfld) {
  log(LogLine().text("writing these sfc values to the ").text(kWorkPrefix).text(" file..."));
  report_point(slp, im, jm, nsfcfld, im / 2, jm / 2);
  report_point(slp, im, jm, nsfcfld, 3 * im / 4, 3 * jm / 4);
}

}  // namespace i2m
