// Fuzzes the text a run starts from: the two standard-input lines, then the
// run control file. The input is one byte string: the standard-input lines
// are taken from its start, whatever follows them is the control file.
// Every outcome must be a value or a RunFailure; anything else (a crash, a
// sanitizer report, another exception) is a finding.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/log_line.h"
#include "common/name_field.h"
#include "control/list_reader.h"
#include "control/run_control.h"
#include "driver/standard_input.h"
#include "fuzz_support.h"
#include "output/grid_description.h"
#include "output/work_file.h"

namespace {

// More levels than any model has; beyond it the fuzzer would only measure
// how fast a vector can grow.
constexpr int32_t kMostLevels = 4096;

// What the run does with the control values before reading any data: the
// level pressures, their log line, the names and the ".gdsinfo" text.
void use_control_file(const std::string& contents, const std::string& line1) {
  i2m::ListReader reader("InputModelInf.txt", contents);
  const i2m::RunControl rc = i2m::read_run_control_head(reader);
  if (rc.lm > kMostLevels) return;
  std::vector<float> pr(static_cast<size_t>(rc.lm));
  i2m::read_level_pressures(reader, rc.lm, pr.data());
  i2m::LogLine levels;
  for (float p : pr) levels.real(p);
  (void)levels.str();
  (void)i2m::build_work_file_name(i2m::name_before_first_blank(line1));
  (void)i2m::grid_description_text(i2m::fill_kgds(rc), rc.lm, pr.data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::enter_scratch_directory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (in == nullptr) return 0;  // fmemopen refuses an empty buffer
  try {
    const std::string line1 = i2m::read_input_line(in, "line 1 (the input data path)");
    (void)i2m::read_input_line(in, "line 2");
    const long used = std::ftell(in);
    std::fclose(in);
    in = nullptr;
    use_control_file(std::string(reinterpret_cast<const char*>(data) + used, size - static_cast<size_t>(used)),
                     line1);
  } catch (const i2m::RunFailure&) {
    // A refused input is a correct outcome.
  }
  if (in != nullptr) std::fclose(in);
  return 0;
}
