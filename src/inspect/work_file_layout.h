// What a work file holds, read from the ".gdsinfo" file beside it: the grid,
// the levels and the 5 lm + 12 records in their order, and the work file's
// records themselves.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "output/work_file_format.h"

namespace inspect {

// Any problem with the files; the message names the file and the cause.
struct InspectError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One field of the work file as its ".gdsinfo" file lists it.
struct LayoutField {
  std::string name;        // as the ".gdsinfo" file lists it, e.g. "Zonal wind"
  std::string unit;        // the text between the parentheses, e.g. "m/s"
  std::string short_name;  // the format's: u, v, z, q, t, lsm, msl, sp, topo, st1, sm1, ...
  bool three_d = false;
};

struct RecordInfo {
  int number = 0;      // 1-based record number in the work file
  int field = 0;       // index into WorkFileLayout::fields
  int level = 0;       // 1-based level for 3-D fields, 0 for surface fields
  float level_hpa = 0;
};

struct WorkFileLayout {
  std::string work_path;
  std::string gdsinfo_path;
  int32_t im = 0, jm = 0, lm = 0;
  std::vector<float> levels_hpa;  // level 1 (bottom) first
  int32_t kgds[20] = {};          // kgds(1..11) and kgds(20); the rest 0
  std::vector<LayoutField> fields;  // 5 three-dimensional, then 12 surface fields
  std::vector<RecordInfo> records;

  int64_t record_bytes() const { return 4 * static_cast<int64_t>(im) * jm; }
  int64_t expected_size() const { return static_cast<int64_t>(records.size()) * record_bytes(); }
  bool is_soil(const RecordInfo& r) const { return r.field >= i2m::kFirstSoilField; }
};

// Reads `<work_path>.gdsinfo` and checks that the work file exists and has
// exactly (5 lm + 12) x 4 x im x jm bytes.
WorkFileLayout read_layout(const std::string& work_path);

// The record chosen by "N" (a record number), "NAME" (a surface field's
// short name) or "NAME:LEVEL" (a 3-D field at a level in hPa, e.g. t:850).
const RecordInfo& find_record(const WorkFileLayout& layout, const std::string& choice);

// " at 850 hPa" for a record of a 3-D field, "" for a surface field.
std::string level_text(const WorkFileLayout& layout, const RecordInfo& r);

// The file name without its folder.
std::string base_name(const std::string& path);

// Reads record `r` into `values` (im x jm, west-east index fastest).
void read_work_record(const WorkFileLayout& layout, const RecordInfo& r, std::vector<float>& values);

}  // namespace inspect
