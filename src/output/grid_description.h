// The grid description (GRIB edition 1 convention, latitude/longitude grid)
// and the ".gdsinfo" text file that tells the model what the work file
// holds: the levels, the grid and the order and units of its records.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/replacement_file.h"
#include "control/run_control.h"

namespace i2m {

using GridDescription = std::array<int32_t, 20>;  // kgds(1..20) at [0..19]

// kgds from the run control values; elements 12 to 19 are 0.
GridDescription fill_kgds(const RunControl& rc);

// The ".gdsinfo" file's text: lm + 38 lines in the log's line layout.
std::string grid_description_text(const GridDescription& kgds, int32_t lm, const float* pr);

// Names the file after the work-file name field (+ ".gdsinfo"), creates it
// under a temporary name, logs the progress lines ("calling get_fullgds
// with " ... "past 14 close") and writes and closes it; the caller commits
// it once the work file is complete too. Ends the run with exit status 2
// when the name does not fit its 255-character field or the file cannot be
// written.
ReplacementFile write_grid_description(const std::string& work_name_field, std::string_view input_path,
                                       const RunControl& rc, const float* pr);

}  // namespace i2m
