// Writer of the input record file (its layout: record_layout.h). Each record
// is a 4-byte little-endian count N = 4 x points, the values, and the count
// again. All records of a file hold the same number of values, so record r
// sits at a fixed offset and records may be written in any order, by
// several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "input/record_layout.h"

namespace i2m {

// Writes record r (1-based): count, the `points` values straight from
// `values`, count, in one positioned transfer. Ends the run with exit
// status 2 naming `path` when the write fails, or when 4 x points does not
// fit the 32-bit count.
void write_input_record(int fd, const std::string& path, int64_t r, const float* values, size_t points);

}  // namespace i2m
