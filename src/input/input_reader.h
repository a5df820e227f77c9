// Reader of the input record file: sequential records, each a 4-byte
// little-endian count N, N bytes of payload and the same count again.
// The file holds 6 lm + 12 field records in this order: ht, rh, q, tp, uw,
// vw (lm levels each, level 1 first), then the 12 surface slices of slp.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "input/field_set.h"

namespace i2m {

// The seven destinations of input records, in file order.
enum class InputField { ht, rh, q, tp, uw, vw, slp };

// Called after each record has been stored, while its data are still in
// cache; `slice` is the record's im x jm values in the field set. For slp,
// `level` is the slice number 1 to 12.
using RecordHook = std::function<void(InputField field, int32_t level, float* slice, size_t points)>;

// Writes log line "OPEN FILE <path>", then reads all 6 lm + 12 records of
// the file at `path` straight into `fs`. Ends the run with exit status 2
// when the file cannot be opened, ends early, or a record is short or
// malformed (negative count, trailing count unlike the leading one). A
// record longer than one field gives its first field's worth of bytes; the
// rest is skipped. Records after the last one needed are never read.
void read_input_file(const std::string& path, FieldSet& fs, const RecordHook& after_each_record = {});

}  // namespace i2m
