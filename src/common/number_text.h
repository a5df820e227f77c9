// Numbers as the programs' listings and diagnostics write them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace i2m {

// A number of degrees, Pa or m as text without trailing zeros ("2.5", "-90"),
// to six decimals at most.
std::string format_number(double value);

// "0 to 9", "1, 3, 5 to 7": whole numbers in ascending order, each run of
// three or more consecutive ones shortened.
std::string format_ranges(const std::vector<int64_t>& values);

}  // namespace i2m
