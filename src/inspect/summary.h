// The "summary" subcommand: one line of statistics per record and a verdict.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "inspect/bounds.h"
#include "inspect/work_file_layout.h"

namespace inspect {

struct RecordStats {
  float min = 0, max = 0;
  double mean = 0;
  int64_t valid = 0;  // neither -99999.0 nor NaN
  int64_t missing = 0, nan = 0, inf = 0, zero = 0;
  int64_t zero_at_sea = 0;  // zeros where the land-sea mask is 0 (when one is given)
  int64_t first_missing = -1, first_nan = -1, first_inf = -1;  // point index
  int64_t first_zero_on_land = -1;  // the first zero that is not at sea
  // Values outside the record's bound (finite, not -99999.0, and for a soil
  // field neither a zero nor at sea), and the first of them.
  int64_t out_of_bounds = 0, first_out_of_bounds = -1;
  float first_out_of_bounds_value = 0;
};

// Statistics of one record; `sea` (optional, one flag per point) tells the
// points where the land-sea mask is 0; `bound` (optional) what the values
// may be.
RecordStats record_stats(const std::vector<float>& values, const std::vector<bool>* sea = nullptr,
                         const Bound* bound = nullptr);

// Where the work file's land-sea mask is 0; empty when the mask record holds
// anything but 0 and 1 (then no zero can be told to be at sea).
std::vector<bool> sea_points(const WorkFileLayout& layout);

// The statistics of every record and the problems that make a work file
// not ready for the model: a record holding -99999.0, NaN or infinities, a
// soil field holding zeros over land (over the sea soil values are not
// used; with an unusable mask every zero of a soil field counts), values
// outside the record's bound, heights that do not rise from one level to
// the next at some point, or one value everywhere in a field that cannot
// be constant (pressures, temperatures, heights). Each record is read once.
struct Evaluation {
  std::vector<RecordStats> stats;  // by record, in file order
  std::vector<std::string> problems;
  bool mask_usable = true;
  bool ready() const { return problems.empty(); }
};
Evaluation evaluate(const WorkFileLayout& layout, const BoundsTable& bounds = BoundsTable());

// Prints the table and the verdict to `out`; returns 0 when the work file is
// ready for the model, 1 when it is not.
int print_work_file_summary(const WorkFileLayout& layout, const BoundsTable& bounds, std::FILE* out);

}  // namespace inspect
