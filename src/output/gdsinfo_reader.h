// Reads a ".gdsinfo" file back: the count and pressures of the levels, the
// grid description and the field list, each line checked against the
// layout the converter writes (output/work_file_format.h), numbers in
// their range and with nothing after them but their label.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace i2m {

struct GdsInfo {
  int32_t lm = 0;
  std::vector<float> levels_hpa;       // level 1 (the bottom) first
  std::array<int32_t, 20> kgds{};      // kgds(1..11) and kgds(20); the rest 0
  int32_t im = 0, jm = 0;              // kgds(2) and kgds(3)
  struct Field {
    std::string label;  // as listed, trailing blanks removed: "Zonal wind"
    std::string unit;   // the text between the parentheses: "m/s"
  };
  std::vector<Field> fields;  // in record order, the 5 3-D fields first

  int64_t record_bytes() const { return 4 * int64_t{im} * jm; }
  // The size of the work file it describes: (5 lm + 12) records.
  int64_t work_file_size() const;
};

// Reads `path`. Ends the run with exit status 2 naming the file and the
// line for a file that cannot be read, is not a regular file, or departs
// from the layout: a missing or unexpected line, a number out of its range
// (a count of levels outside 1 to 100000, a grid of no points or more than
// a work file holds) or followed by anything but its label.
GdsInfo read_gdsinfo(const std::string& path);

}  // namespace i2m
