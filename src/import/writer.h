// Carries out an import plan: the control file, the date file and one input
// record file per data time, each written under a temporary name of the
// process's own and renamed when complete, so that a file of a data time
// that did not finish never stands under its final name, and two imports
// into one folder never write into one file.
//
// The data path of one data time, each step in a file of its own:
//   plan.cc          which field (or derivation) fills each record
//   model_level_step.cc  upper air on model levels: reads the surface and the
//                    model levels from the ground up, each mapped onto the
//                    grid written, and interpolates the columns to the
//                    pressure levels written (regrid/vertical.h)
//   record_values.cc reads a field from its source (source.h) and maps it
//                    onto the grid written (regrid/horizontal_map.h), or
//                    derives a humidity from two such fields, or takes a
//                    record of the vertical step
//   writer.cc        runs the records on the worker pool and writes each at
//                    its place in the file (input/record_writer.h), or, with
//                    --convert, stores them in the converter's field set
//                    and runs its phases (direct_conversion.cc)
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "common/parallel.h"
#include "import/inventory.h"
#include "import/plan.h"
#include "import/quantity.h"

namespace i2m {

// Points the sources marked missing (or gave as NaN), per tally row
// (tally_row()), within the points written.
using MissingTally = std::array<int64_t, kTallyRows>;

// Writes InputModelInf.txt and adate.txt (the earliest data time,
// YYYYMMDDHH) into `dir`, which must exist.
void write_control_files(const ImportPlan& plan, const std::string& dir);

// Writes every data time of the plan (made from `inv`) into `dir`, which
// must exist, and prints one progress line per data time to `progress` as
// it completes. Reads, maps and decodes on the pool's workers (sources
// whose library is not thread-safe take turns inside the library only).
// With `conversion` (--convert), each data time goes through the
// converter's phases instead, and its record file is written only with
// `keep_input`. Ends the run with exit status 2 on the first failure,
// after removing the unfinished file.
class DirectConversion;
MissingTally write_data_times(const Inventory& inv, const ImportPlan& plan, const std::string& dir, WorkerPool& pool,
                              std::FILE* progress, DirectConversion* conversion = nullptr, bool keep_input = false);

}  // namespace i2m
