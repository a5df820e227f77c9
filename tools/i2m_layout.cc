// i2m_layout: the project's file layouts and naming rules, for the scripts
// of tools/, so that no script states them a second time.
//
//   i2m_layout data-time NAME       the data time NAME carries (YYYYMMDDHH);
//                                   exit status 1 when it carries none
//   i2m_layout work-size GDSINFO    bytes of the work file the .gdsinfo describes
//   i2m_layout longest-input-path   the longest input path the converter
//                                   takes (with room for its outputs' names)
//   i2m_layout input-size CONTROL   "BYTES RECORDS RECORD_BYTES" of an input
//                                   record file that the run control file
//                                   fits: 6 lm + 12 records of 4 im jm + 8 bytes
//
// Exit status 2, with one line on standard error, when a file cannot be read
// or does not follow its layout.

#include <cstdio>
#include <exception>
#include <string>

#include "common/command_line.h"
#include "common/data_time_name.h"
#include "common/failure.h"
#include "control/run_control.h"
#include "input/record_layout.h"
#include "output/gdsinfo_reader.h"
#include "output/work_file_format.h"

namespace {

constexpr const char* kProgram = "i2m_layout";

void print_input_size(const std::string& control_path) {
  i2m::ListReader reader = i2m::open_run_control(control_path);
  const i2m::RunControl rc = i2m::read_run_control_head(reader);
  const int64_t records = i2m::input_record_count(rc.lm);
  const int64_t record_bytes = i2m::input_record_bytes(static_cast<size_t>(rc.im) * static_cast<size_t>(rc.jm));
  std::printf("%lld %lld %lld\n", static_cast<long long>(records * record_bytes), static_cast<long long>(records),
              static_cast<long long>(record_bytes));
}

int answer(const std::string& question, const std::string& subject) {
  if (question == "data-time") {
    const std::string time = i2m::data_time_in_name(subject);
    if (time.empty()) return 1;
    std::printf("%s\n", time.c_str());
  } else if (question == "longest-input-path") {
    std::printf("%zu\n", i2m::kLongestInputPath);
  } else if (question == "work-size") {
    std::printf("%lld\n", static_cast<long long>(i2m::read_gdsinfo(subject).work_file_size()));
  } else {
    print_input_size(subject);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The project's file layouts and naming rules, for the scripts."};
  i2m::add_standard_flags(app, kProgram);
  std::string question, subject;
  app.add_option("QUESTION", question, "data-time, work-size, input-size or longest-input-path")
      ->required()
      ->check(CLI::IsMember({"data-time", "work-size", "input-size", "longest-input-path"}));
  app.add_option("FILE", subject, "A file name (data-time), a .gdsinfo file (work-size), a run control file (input-size)");
  if (const std::optional<int> stop = i2m::parse_command_line(app, argc, argv)) return *stop;
  if (subject.empty() && question != "longest-input-path") {
    std::fprintf(stderr, "%s: %s needs a FILE (see --help)\n", kProgram, question.c_str());
    return 2;
  }
  int status = 0;
  try {
    status = answer(question, subject);
  } catch (const i2m::RunFailure& failure) {
    std::fprintf(stderr, "%s: %s\n", kProgram, failure.message.c_str());
    return failure.status;
  } catch (const std::exception& e) {
    const i2m::RunFailure failure = i2m::failure_of(e);
    std::fprintf(stderr, "%s: %s\n", kProgram, failure.message.c_str());
    return failure.status;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: standard output: cannot write the answer\n", kProgram);
    return 2;
  }
  return status;
}
