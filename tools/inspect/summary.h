// The "summary" subcommand: one line of statistics per record and a verdict.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "work_file_layout.h"

namespace inspect {

struct RecordStats {
  float min = 0, max = 0;
  double mean = 0;
  int64_t valid = 0;  // neither -99999.0 nor NaN
  int64_t missing = 0, nan = 0, inf = 0, zero = 0;
  int64_t first_missing = -1, first_nan = -1, first_inf = -1, first_zero = -1;  // point index
};

RecordStats record_stats(const std::vector<float>& values);

// Prints the table and the verdict to `out`; returns 0 when the work file is
// ready for the model, 1 when a record holds -99999.0, NaN or infinities or
// a soil field holds zeros.
int print_summary(const WorkFileLayout& layout, std::FILE* out);

}  // namespace inspect
