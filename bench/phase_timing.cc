// phase_timing: runs the phases of one conversion in the converter's order
// on a real data time and prints the wall time of each on standard error.
// The log lines go to standard output as usual. Run it in a directory with
// InputModelInf.txt and adate.txt, the input path as its argument.
//
//   phase_timing INPUT > /dev/null

#include <chrono>
#include <cstdio>
#include <string>

#include "common/constants.h"
#include "common/failure.h"
#include "control/run_control.h"
#include "input/field_set.h"
#include "input/input_reader.h"
#include "output/grid_description.h"
#include "output/surface_report.h"
#include "output/work_file.h"
#include "qc/level_check.h"
#include "qc/screening.h"
#include "qc/surface_fill.h"
#include "thermo/estab.h"
#include "thermo/humidity.h"

namespace {

using Clock = std::chrono::steady_clock;

class PhaseClock {
 public:
  void lap(const char* phase) {
    const auto now = Clock::now();
    const std::chrono::duration<double, std::milli> ms = now - last_;
    std::fprintf(stderr, "%-28s %10.1f ms\n", phase, ms.count());
    total_ += ms.count();
    last_ = now;
  }
  void finish() const { std::fprintf(stderr, "%-28s %10.1f ms\n", "total", total_); }

 private:
  Clock::time_point last_ = Clock::now();
  double total_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: phase_timing INPUT\n");
    return 2;
  }
  const std::string input = argv[1];
  try {
    PhaseClock clock;
    i2m::es_ini();
    clock.lap("saturation table");
    i2m::ListReader control = i2m::open_run_control();
    const i2m::RunControl rc = i2m::read_run_control_head(control);
    i2m::FieldSet fs = i2m::allocate_field_set(rc.im, rc.jm, rc.lm);
    i2m::read_level_pressures(control, rc.lm, fs.pr);
    (void)i2m::read_date_file();
    clock.lap("control files, allocation");
    i2m::read_input_file(input, fs, i2m::screen_record);
    clock.lap("read and screen");
    i2m::check_levels(fs);
    clock.lap("level check");
    i2m::fill_surface_fields(fs);
    clock.lap("soil fill");
    i2m::convert_humidity(fs);
    clock.lap("humidity conversion");
    const std::string name = i2m::build_work_file_name(input);
    i2m::WorkFile work = i2m::open_work_file(name, rc.im, rc.jm);
    i2m::write_grid_description(name, input, rc, fs.pr);
    i2m::write_work_records(work, fs);
    i2m::report_surface_values(fs.slp, rc.im, rc.jm, i2m::nsfcfld);
    i2m::close_work_file(work);
    clock.lap("write outputs");
    fs = i2m::FieldSet();
    clock.lap("release");
    clock.finish();
  } catch (const i2m::RunFailure& f) {
    std::fprintf(stderr, "phase_timing: %s\n", f.message.c_str());
    return f.status;
  }
  return 0;
}
