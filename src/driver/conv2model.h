// The run sequence of one conversion, from the run control file to the
// closed work file. Each phase works in place on one field set.
#pragma once

#include <functional>
#include <string>

namespace i2m {

// Told the name of each phase of a conversion as it ends (for timing).
using PhaseObserver = std::function<void(const char* phase)>;

// Converts the data time whose input file is named by `line1` (up to its
// first blank). `line2` is read by the caller and used by nothing. Returns
// after a complete run; every failure or data stop throws RunFailure.
void conv2model(const std::string& line1, const std::string& line2);

// The run sequence itself, for the input file at `input_path`; the last
// phase reported is "release", after every array has been freed.
void convert_data_time(const std::string& input_path, const PhaseObserver& after_phase = {});

}  // namespace i2m
