// Numbers as the programs' listings and diagnostics write them.
#pragma once

#include <string>

namespace i2m {

// A number of degrees, Pa or m as text without trailing zeros ("2.5", "-90"),
// to six decimals at most.
std::string format_number(double value);

}  // namespace i2m
