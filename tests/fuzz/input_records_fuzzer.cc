// Fuzzes the input record reader, with the screening of each record, on
// small grids. The first three bytes of the input choose the grid
// (im 2..5, jm 2..4, lm 1..3); the rest is the record file.

#include <cstdint>
#include <cstdlib>

#include "common/failure.h"
#include "fuzz_support.h"
#include "input/field_set.h"
#include "input/input_reader.h"
#include "qc/screening.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzing::enter_scratch_directory();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int32_t im = 2 + data[0] % 4;
  const int32_t jm = 2 + data[1] % 3;
  const int32_t lm = 1 + data[2] % 3;
  fuzzing::write_bytes("in.bin", data + 3, size - 3);
  i2m::FieldSet fs = i2m::allocate_field_set(im, jm, lm);
  try {
    i2m::read_input_file("in.bin", fs, i2m::screen_record);
  } catch (const i2m::RunFailure& failure) {
    if (failure.status != i2m::kExitFileError || failure.message.empty()) std::abort();
  }
  return 0;
}
