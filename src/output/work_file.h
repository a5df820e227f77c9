// The model work file: the input path followed by ".ZEPwrk", headerless
// records of 4 im jm bytes, one horizontal field each, little-endian:
// uw, vw, ht, qnew2, tp (lm levels each, level 1 first), then the 12
// surface slices of slp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/replacement_file.h"
#include "input/field_set.h"

namespace i2m {

// The 7-character prefix field: "ZEPwrk" and one blank.
inline constexpr std::string_view kWorkPrefix = "ZEPwrk ";

struct WorkFile {
  std::string name;     // usable name
  ReplacementFile file;  // written under a temporary name until committed
  int64_t record_bytes = 0;
};

// The 255-character name field for `input_path` + "." + the prefix field.
// Logs the whole field, then "ZEPwrk  data ---> <name>".
std::string build_work_file_name(std::string_view input_path);

// Creates the file named by the field up to its first blank, for records
// of 4 im jm bytes, under a temporary name beside it: what stood under the
// name is replaced only by commit_work_file(). Ends the run with exit
// status 2 when the name is empty or the file cannot be created.
WorkFile open_work_file(const std::string& name_field, int32_t im, int32_t jm);

// Logs "starting writes to unit1" and writes the 5 lm + 12 records, each in
// one transfer straight from the field set.
void write_work_records(const WorkFile& file, const FieldSet& fs);

void close_work_file(WorkFile& file);

// Renames the complete work file over its name.
void commit_work_file(WorkFile& file);

}  // namespace i2m
