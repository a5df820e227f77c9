// Carries out an import plan: the control file, the date file and one input
// record file per data time, each written under a temporary name of the
// process's own and renamed when complete, so that a file of a data time
// that did not finish never stands under its final name, and two imports
// into one folder never write into one file.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "import/inventory.h"
#include "import/plan.h"
#include "import/quantity.h"

namespace i2m {

// Points the sources marked missing (or gave as NaN), per kind of record
// (record_kind()), within the points written.
using MissingTally = std::array<int64_t, kRecordKinds>;

// Writes InputModelInf.txt and adate.txt (the earliest data time,
// YYYYMMDDHH) into `dir`, which must exist.
void write_control_files(const ImportPlan& plan, const std::string& dir);

// Writes every data time of the plan (made from `inv`) into `dir`, which
// must exist, and prints one progress line per data time to `progress` as
// it completes. Reads and decodes on
// `threads` threads (sources whose library is not thread-safe take turns
// inside the library only). Ends the run with exit status 2 on the first
// failure, after removing the unfinished file.
MissingTally write_data_times(const Inventory& inv, const ImportPlan& plan, const std::string& dir, int threads,
                              std::FILE* progress);

// The number of threads an import uses on this machine.
int import_threads();

}  // namespace i2m
