// Fuzzes the date file reader with the input as the file's whole content.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/failure.h"
#include "control/run_control.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::enter_scratch_directory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::write_bytes("adate.txt", data, size);
  try {
    // The date is always its 8-character field, whatever the file held.
    if (i2m::read_date_file("adate.txt").size() != 8) std::abort();
  } catch (const i2m::RunFailure&) {
  }
  return 0;
}
