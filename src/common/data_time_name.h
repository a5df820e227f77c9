// The data time a file's name carries, read by one rule for every program
// and script: the first run of exactly ten digits (YYYYMMDDHH) in the name
// after its last '/', a run that no other digit adjoins. "era5_2024010112.bin"
// carries 2024010112; "run_202401010000.bin" (twelve digits) and
// "in_20240101.bin" (eight) carry none.
#pragma once

#include <string>
#include <string_view>

namespace i2m {

inline constexpr size_t kDataTimeDigits = 10;  // YYYYMMDDHH

// The ten digits, or "" when the name carries no data time.
std::string data_time_in_name(std::string_view path);

}  // namespace i2m
