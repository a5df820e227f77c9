// Fuzzes a whole run in a scratch directory: a fixed run control file for a
// 5 x 4 grid of four levels and a fuzzed input record file. The run must
// end in one of its documented ways: success, a file failure with its
// diagnostic, or a data stop (logged, no diagnostic).

#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/failure.h"
#include "common/name_field.h"
#include "driver/conv2model.h"
#include "fuzz_support.h"
#include "thermo/estab.h"

namespace {

constexpr char kControlFile[] =
    "FUZZ\n5 4 4\n0\n-90000\n0\n90000\n357500\n2500\n2500\n1000\n850\n500\n300\n";
constexpr char kDateFile[] = "2024010100\n";

bool documented_failure(const i2m::RunFailure& failure) {
  switch (failure.status) {
    case i2m::kExitFileError: return !failure.message.empty();
    case i2m::kExitDataStop: return failure.message.empty();
    default: return false;  // 5 x 4 x 4 can always be allocated
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::enter_scratch_directory();
  fuzzing::write_bytes("InputModelInf.txt", reinterpret_cast<const uint8_t*>(kControlFile), sizeof kControlFile - 1);
  fuzzing::write_bytes("adate.txt", reinterpret_cast<const uint8_t*>(kDateFile), sizeof kDateFile - 1);
  i2m::es_ini();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::write_bytes("in.bin", data, size);
  try {
    // Standard input's first line arrives as a blank-padded field.
    i2m::conv2model(i2m::make_name_field("in.bin"), i2m::make_name_field("fuzz"));
  } catch (const i2m::RunFailure& failure) {
    if (!documented_failure(failure)) std::abort();
  }
  return 0;
}
