// import_data_times: turns GRIB and NetCDF files (ERA5 from the Climate
// Data Store, IFS, GFS) into the converter's input, one record file per
// data time, with the control file and the date file beside them.

#include <malloc.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "common/failure.h"
#include "common/replacement_file.h"
#include "common/parallel.h"
#include "common/sanitizer.h"
#include "import/direct_conversion.h"
#include "import/inventory.h"
#include "import/library_guard.h"
#include "import/options.h"
#include "import/output_folder.h"
#include "import/plan.h"
#include "import/report.h"
#include "import/writer.h"

namespace {

using namespace i2m;

constexpr const char* kProgram = "import_data_times";

// ecCodes found the data of a field damaged beyond its own checks. The
// worker threads may be anywhere: the process ends here, with the one
// diagnostic. A hidden .part file of the data time may stay behind.
[[noreturn]] void report_damaged_data(const std::string& place, const char* message) {
  remove_unfinished_files();
  std::fflush(stdout);
  // Near the address-space limit a failed allocation fails ecCodes' checks:
  // the file is not to blame.
  if (memory_is_short()) {
    std::fprintf(stderr, "%s: %s: Allocation would exceed memory limit\n", kProgram,
                 place.empty() ? "a GRIB file" : place.c_str());
    std::_Exit(kExitNoStorage);
  }
  std::fprintf(stderr, "%s: %s: the message is damaged (%s)\n", kProgram,
               place.empty() ? "a GRIB file" : place.c_str(), message);
  std::_Exit(kExitFileError);
}

// ecCodes, netCDF-C and HDF5 crash outright on some damaged files (a
// division by zero, a bad pointer). A crash while a library works on a
// field is reported like the failed check above; any other crash is left as
// it is (the sanitizer build keeps its own reports).
extern "C" void on_crash(int signal) {
  const std::string* place = library_place_in_hand();
  if (place == nullptr) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  // Only unlink(), read(), write() and _Exit() here: nothing that may
  // allocate or lock.
  remove_unfinished_files();
  auto put = [](const char* text, size_t n) { (void)!::write(STDERR_FILENO, text, n); };
  auto put_text = [&put](const char* text) { put(text, std::strlen(text)); };
  put_text(kProgram);
  put_text(": ");
  put(place->data(), place->size());
  if (memory_is_short()) {
    put_text(": Allocation would exceed memory limit\n");
    std::_Exit(kExitNoStorage);
  }
  put_text(": the file is damaged (its library stopped on signal ");
  put_text(sigdescr_np(signal) != nullptr ? sigdescr_np(signal) : "?");
  put_text(")\n");
  std::_Exit(kExitFileError);
}

// A library that works on one field for minutes has met data it loops on;
// decoding the largest field takes seconds.
[[noreturn]] void report_library_hang(const std::string& place, int seconds) {
  remove_unfinished_files();
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s: the file is damaged (its library did not return within %d s)\n", kProgram,
               place.c_str(), seconds);
  std::_Exit(kExitFileError);
}

void report_library_crashes() {
#ifndef I2M_ADDRESS_SANITIZER
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(signal, on_crash);
#endif
}

int report(int status, const std::string& message) {
  std::fflush(stdout);
  if (!message.empty()) std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
  return status;
}

void list(const ImportOptions& options) {
  std::vector<OpenedSource> sources;
  // A listing writes nothing where the import would: members too large
  // for memory wait in the temporary folder.
  const char* tmp = std::getenv("TMPDIR");
  for (const std::string& path : options.files) {
    const size_t first = sources.size();
    open_source(path, tmp != nullptr && *tmp != '\0' ? tmp : "/tmp", sources);
    for (size_t n = first; n < sources.size() && !options.list_files; ++n) print_source(stdout, sources[n].inventory);
  }
  const Inventory inv = take_inventory(std::move(sources), options.member);
  const ImportPlan plan = make_plan(inv, options);
  if (options.list_files) {
    for (const DataTimePlan& d : plan.times) std::printf("%s\n", d.file_name.c_str());
    return;
  }
  print_levels(stdout, plan.levels, "levels an import would keep");
  print_file_names(stdout, plan);
}

// The command line, as a manifest records it.
std::string command_line(int argc, char** argv) {
  std::string text;
  for (int a = 0; a < argc; ++a) text += (a > 0 ? " " : "") + std::string(argv[a]);
  return text;
}

// Returns the exit status: 3 when the converter stopped on some data time
// (--convert), as it does.
int import(const ImportOptions& options, WorkerPool& pool, const std::string& command) {
  const Inventory inv = take_inventory(open_sources(options.files, options.out_dir), options.member);
  ImportPlan plan = make_plan(inv, options);
  const OutputFolder folder = OutputFolder::claim(plan, options.out_dir, options.replace);
  build_maps(inv, plan.grid, pool);
  std::unique_ptr<DirectConversion> conversion =
      options.convert ? std::make_unique<DirectConversion>(plan, options.out_dir, command, options.resume) : nullptr;
  const MissingTally missing =
      write_data_times(inv, plan, options.out_dir, pool, stdout, conversion.get(), options.keep_input);
  if (conversion != nullptr) conversion->finish();
  // Last, once every data time stands complete under its final name: a
  // control file never describes files that are not there yet.
  write_control_files(plan, options.out_dir);
  print_import_summary(stdout, inv, plan, missing, folder, options.out_dir, conversion.get());
  if (conversion == nullptr || conversion->tally().stopped == 0) return kExitSuccess;
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s: %d data time%s stopped on data the converter cannot repair (the last line of each "
               "log in %s says why)\n", kProgram, options.out_dir.c_str(), conversion->tally().stopped,
               conversion->tally().stopped == 1 ? "" : "s", conversion->log_folder().c_str());
  return kExitDataStop;
}

}  // namespace

int main(int argc, char** argv) {
  // ecCodes allocates and frees buffers of megabytes for every message it
  // reads or unpacks. Served from the heap instead of fresh mappings, they
  // are faulted in once per import rather than once per message.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  set_library_failure_handler(report_damaged_data);
  report_library_crashes();
  note_page_size();
  // A file-size limit (ulimit -f) fails the write that meets it, and the
  // unfinished file goes, instead of the signal ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  int status = kExitSuccess;
  const std::optional<ImportOptions> options = parse_import_options(argc, argv, status);
  if (!options) return status;
  if ((options->keep_input || options->resume) && !options->convert) {
    return report(kExitFileError, "--keep-input and --resume go with --convert");
  }
  try {
    start_library_watchdog(options->library_time_limit, report_library_hang);
    // The workers live as long as the import: each keeps its buffers and
    // its watchdog slot from the first data time to the last.
    WorkerPool pool(default_worker_count());
    if (options->list || options->list_files) {
      list(*options);
    } else {
      status = import(*options, pool, command_line(argc, argv));
    }
  } catch (const RunFailure& failure) {
    return report(failure.status, failure.message);
  } catch (const std::exception& e) {
    // Also what a worker thread met: the writer hands it on to here.
    const RunFailure failure = failure_of(e);
    return report(failure.status, failure.message);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) return report(kExitFileError, "standard output: cannot write the summary");
  return status;
}
