// Input2ModelData: converts one data time of pressure-level data into the
// regional model's work file and its ".gdsinfo" description.
//
// Standard input: line 1 the input data path (up to its first blank),
// line 2 read and unused. Files: ./InputModelInf.txt and ./adate.txt.
// Run without arguments; --help and --version only print.

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>

#include "common/command_line.h"
#include "common/failure.h"
#include "common/replacement_file.h"
#include "driver/conv2model.h"
#include "driver/standard_input.h"
#include "thermo/estab.h"

namespace {

constexpr const char* kProgram = "Input2ModelData";

int report(const i2m::RunFailure& failure) {
  std::fflush(stdout);
  i2m::report_stale_files_removed(kProgram);
  if (!failure.message.empty()) std::fprintf(stderr, "%s: %s\n", kProgram, failure.message.c_str());
  return failure.status;
}

// A run takes no arguments; --help and --version are answered without
// reading standard input, and anything else is a usage error.
std::optional<int> answer_arguments(int argc, char** argv) {
  if (argc <= 1) return std::nullopt;
  CLI::App app{
      "Converts one data time into the regional model's work file and its .gdsinfo description.\n"
      "Standard input: line 1 the input data file (up to its first blank), line 2 read and unused.\n"
      "Files: ./InputModelInf.txt (model name, grid, levels) and ./adate.txt (date word).\n"
      "Writes <input>.ZEPwrk and <input>.ZEPwrk.gdsinfo beside the input and the log on standard output.\n"
      "Exit status: 0 converted; 1 storage; 2 a file, read or write problem; 3 a data stop."};
  i2m::add_standard_flags(app, kProgram);
  return i2m::parse_command_line(app, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) fails the write that meets it, and the
  // unfinished output goes, instead of the signal ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  if (const std::optional<int> status = answer_arguments(argc, argv)) return *status;
  try {
    i2m::es_ini();
    const std::string line1 = i2m::read_input_line(stdin, "line 1 (the input data path)");
    const std::string line2 = i2m::read_input_line(stdin, "line 2");
    i2m::conv2model(line1, line2);
  } catch (const i2m::RunFailure& failure) {
    return report(failure);
  } catch (const std::bad_alloc&) {
    return report({i2m::kExitNoStorage, "Allocation would exceed memory limit"});
  } catch (const std::exception& e) {
    return report(i2m::failure_of(e));
  }
  // The log is part of the result: a log that could not be written fails the run.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return report({i2m::kExitFileError, "standard output: cannot write the log"});
  }
  i2m::report_stale_files_removed(kProgram);
  return i2m::kExitSuccess;
}
