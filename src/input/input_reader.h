// Reader of the input record file: sequential records, each a 4-byte
// little-endian count N, N bytes of payload and the same count again, in
// the order of record_layout.h.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "input/field_set.h"
#include "input/record_layout.h"

namespace i2m {

// Called after each record has been stored, while its data are still in
// cache; `slice` is the record's im x jm values in the field set. For slp,
// `level` is the slice number 1 to 12.
using RecordHook = std::function<void(InputField field, int32_t level, float* slice, size_t points)>;

// Writes log line "OPEN FILE <path>", then reads all 6 lm + 12 records of
// the file at `path` straight into `fs`. A `path` of kNameFieldLength
// characters or more is the whole name field of a line that holds no blank:
// it names nothing, and is refused as too long.
//
// the file at `path` straight into `fs`. Ends the run with exit status 2
// when the file cannot be opened, ends early, or a record is short or
// malformed (negative count, trailing count unlike the leading one). A
// record longer than one field gives its first field's worth of bytes; the
// rest is skipped. Records after the last one needed are never read.
void read_input_file(const std::string& path, FieldSet& fs, const RecordHook& after_each_record = {});

// Writes log line "OPEN FILE <path>": how a conversion says where its input
// comes from, also when the records come from memory.
void log_input_opened(const std::string& path);

// The slice of `fs` that input record r (1-based) fills, and what it is.
struct RecordDestination {
  InputField field;
  int32_t level;  // the level, or for slp the slice (1 to 12)
  float* slice;
};
RecordDestination record_destination(const FieldSet& fs, int64_t r);

}  // namespace i2m
