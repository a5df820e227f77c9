// The run sequence of one conversion, from the run control file to the
// closed work file. Each phase works in place on one field set.
#pragma once

#include <string>

namespace i2m {

// Converts the data time whose input file is named by `line1` (up to its
// first blank). `line2` is read by the caller and used by nothing. Returns
// after a complete run; every failure or data stop throws RunFailure.
void conv2model(const std::string& line1, const std::string& line2);

}  // namespace i2m
