// Writer of the run control file, the counterpart of run_control.h's
// reader: what the importer and the data-time generator hand to the
// converter.
#pragma once

#include <string>
#include <vector>

#include "control/run_control.h"

namespace i2m {

// The text of a control file: the model name as given (the reader keeps its
// first 20 characters and logs them up to the first blank), im jm lm, the seven grid
// numbers one per line, then one level pressure (hPa) per line, level 1
// first. A pressure is written as an integer when it is whole, otherwise in
// the shortest decimal form that reads back as the same float.
std::string format_run_control(const RunControl& rc, const std::vector<float>& levels_hpa);

// The shortest decimal text of a float that reads back as the same float,
// without exponent ("1000", "962.5", "0.01").
std::string format_pressure(float hpa);

}  // namespace i2m
