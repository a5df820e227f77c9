// Fuzzes the importer over one file (GRIB or NetCDF, as its first bytes
// say) in a scratch directory: inventory, plan and the writing of every
// data time. It must end with the files
// written or with a diagnostic (exit status 2), never with a crash, a
// sanitizer report or a failure without a message.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/failure.h"
#include "common/parallel.h"
#include "fuzz_support.h"
#include "import/library_guard.h"
#include "import/grid_choice.h"
#include "import/inventory.h"
#include "import/plan.h"
#include "import/writer.h"
#include "thermo/estab.h"

namespace {

// ecCodes' last word on data damaged beyond its checks; in the importer it
// ends the process with exit status 2. Here it is thrown back to the
// target (through ecCodes' C frames, which hold nothing to clean up), so
// that fuzzing goes on.
struct DamagedData {};
[[noreturn]] void throw_damaged(const std::string&, const char*) { throw DamagedData{}; }

// Grids beyond this are valid input, but their buffers would exceed the
// fuzzer's memory limit; the importer itself refuses only 2^29 points.
constexpr size_t kMaxFuzzPoints = size_t{1} << 20;

void import_file() {
  i2m::ImportOptions options;
  options.files = {"in.data"};
  options.out_dir = "out";
  // A fuzzed file rarely holds every surface field; its records are to be
  // decoded all the same.
  options.allow_missing_surface = true;
  auto sources = i2m::open_sources(options.files, options.out_dir);
  for (const auto& s : sources) {
    for (const i2m::FieldInfo& f : s.inventory.fields) {
      if (f.grid == nullptr || f.grid->points() > kMaxFuzzPoints) return;
    }
  }
  const i2m::Inventory inv = i2m::take_inventory(std::move(sources));
  i2m::ImportPlan plan = i2m::make_plan(inv, options);
  // One worker, the caller's thread: a failure handler may only unwind the
  // thread it runs on.
  static i2m::WorkerPool pool(1);
  i2m::build_maps(inv, plan.grid, pool);
  std::filesystem::create_directories(options.out_dir);
  std::FILE* progress = std::fopen("/dev/null", "w");
  i2m::write_data_times(inv, plan, options.out_dir, pool, progress);
  std::fclose(progress);
  i2m::write_control_files(plan, options.out_dir);
}

}  // namespace

// ecCodes leaks memory on some malformed headers, and what it had allocated
// when its check failed is lost; the sanitized end-to-end tests check the
// importer's own memory on whole runs instead.
extern "C" int __lsan_is_turned_off() { return 1; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::enter_scratch_directory();
  i2m::es_ini();
  i2m::set_library_failure_handler(throw_damaged);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::write_bytes("in.data", data, size);
  std::error_code ignored;
  std::filesystem::remove_all("out", ignored);
  try {
    import_file();
  } catch (const i2m::RunFailure& failure) {
    if (failure.status != i2m::kExitFileError || failure.message.empty()) std::abort();
  } catch (const DamagedData&) {
  }
  return 0;
}
