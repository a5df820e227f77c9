#include "control/run_control.h"

#include <string_view>

#include "common/constants.h"
#include "common/failure.h"
#include "common/file_io.h"

namespace i2m {
namespace {

void check_grid(const RunControl& rc, const std::string& path) {
  const int64_t points = static_cast<int64_t>(rc.im) * rc.jm;
  if (rc.im >= 2 && rc.jm >= 2 && rc.lm >= 1 && points < kMaxGridPoints) return;
  fail_file(path,
            "grid rejected: im=" + std::to_string(rc.im) + " jm=" + std::to_string(rc.jm) +
                " lm=" + std::to_string(rc.lm) +
                " (needs im >= 2, jm >= 2, lm >= 1 and im*jm < " + std::to_string(kMaxGridPoints) + ")");
}

}  // namespace

ListReader open_run_control(const std::string& path) {
  // A FIFO or device would hold the run in its open or its read.
  return ListReader(path, read_whole_file(open_regular_file_for_reading(path), path));
}

RunControl read_run_control_head(ListReader& reader) {
  RunControl rc;
  std::string name(reader.next_line("the model name").substr(0, kModelNameLength));
  name.resize(kModelNameLength, ' ');
  rc.model_name = name;

  const auto size = reader.read_integers(3, "im, jm, lm");
  rc.im = size[0];
  rc.jm = size[1];
  rc.lm = size[2];
  int32_t* const grid_numbers[] = {&rc.grid_type, &rc.la1, &rc.lo1, &rc.la2,
                                   &rc.lo2,       &rc.di,  &rc.dj};
  const char* const names[] = {"grid_type", "la1", "lo1", "la2", "lo2", "di", "dj"};
  for (int n = 0; n < 7; ++n) *grid_numbers[n] = reader.read_integers(1, names[n])[0];
  check_grid(rc, reader.file_name());
  return rc;
}

void read_level_pressures(ListReader& reader, int32_t lm, float* pr) {
  for (int32_t k = 0; k < lm; ++k) {
    pr[k] = reader.read_reals(1, "level pressure " + std::to_string(k + 1))[0];
  }
}

}  // namespace i2m
