#include "driver/conv2model.h"

#include "common/constants.h"
#include "common/log_line.h"
#include "common/name_field.h"
#include "control/run_control.h"
#include "input/field_set.h"
#include "input/input_reader.h"
#include "output/grid_description.h"
#include "output/surface_report.h"
#include "output/work_file.h"
#include "qc/level_check.h"
#include "qc/screening.h"
#include "qc/surface_fill.h"
#include "thermo/humidity.h"

namespace i2m {
namespace {

void log_run_control(const RunControl& rc, const float* pr) {
  log(LogLine().text("using hardwired stuff! ").integer(rc.im).integer(rc.jm).integer(rc.lm));
  LogLine levels;
  for (int32_t k = 0; k < rc.lm; ++k) levels.real(pr[k]);
  log(levels);
  log(LogLine().text(name_before_first_blank(rc.model_name)));
}

// The specific humidity of every level, from its temperature and relative
// humidity at the level's pressure.
void convert_humidity(FieldSet& fs) {
  const size_t points = fs.slice_points();
  for (int32_t k = 1; k <= fs.lm; ++k) {
    convert_humidity_level(fs.slice(fs.tp, k), fs.slice(fs.rh, k), fs.pr[k - 1], fs.slice(fs.qnew2, k), points);
  }
}

void write_outputs(const std::string& input_path, const RunControl& rc, const FieldSet& fs) {
  const std::string work_name = build_work_file_name(input_path);
  WorkFile work = open_work_file(work_name, rc.im, rc.jm);
  ReplacementFile grid_description = write_grid_description(work_name, input_path, rc, fs.pr);
  write_work_records(work, fs);
  report_surface_values(fs.slp, rc.im, rc.jm, nsfcfld);
  close_work_file(work);
  // Both outputs replace their earlier versions only once both are
  // complete; a failure before this leaves the earlier ones as they were.
  commit_work_file(work);
  grid_description.commit();
}

}  // namespace

void convert_data_time(const std::string& input_path, const PhaseObserver& after_phase) {
  // Each record is screened as soon as it is read, while still in cache.
  convert_data_time(input_path,
                    ConversionSources{open_run_control(), [] { return read_date_file(); },
                                      [&input_path](FieldSet& fs) { read_input_file(input_path, fs, screen_record); }},
                    after_phase);
}

void convert_data_time(const std::string& input_path, ConversionSources sources, const PhaseObserver& after_phase) {
  auto done = [&after_phase](const char* phase) {
    if (after_phase) after_phase(phase);
  };
  {
    ListReader& control = sources.control;
    const RunControl rc = read_run_control_head(control);
    FieldSet fs = allocate_field_set(rc.im, rc.jm, rc.lm);
    read_level_pressures(control, rc.lm, fs.pr);
    log_run_control(rc, fs.pr);
    const std::string adate = sources.read_date();  // held for the run, used by nothing
    (void)adate;
    done("control files, allocation");

    sources.read_input(fs);
    done("read and screen");
    check_and_patch_levels(fs);
    done("level check");
    fill_surface_fields(fs);
    done("soil fill");
    convert_humidity(fs);
    done("humidity conversion");
    write_outputs(input_path, rc, fs);
    done("write outputs");
  }
  done("release");
}

void conv2model(const std::string& line1, const std::string& /*line2*/) {
  // A field without a blank names nothing; it goes on whole so that the
  // reader can say the path was too long rather than empty.
  const std::string_view path = name_before_first_blank(line1);
  const bool no_blank = line1.find(' ') == std::string::npos;
  convert_data_time(no_blank ? line1 : std::string(path));
}

}  // namespace i2m
