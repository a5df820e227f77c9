// Values shared by several phases of a run.
#pragma once

#include <cstdint>

namespace i2m {

// The missing marker inside the system (bit pattern 0xC7C34F80).
inline constexpr float missing_flag = -99999.0f;

// The missing marker of the input file: 9.999e20 rounded to single
// precision, exactly 999900026055400882176 (bit pattern 0x6258D19A).
inline constexpr float input_missing_flag = 9.999e20f;

// Standard gravity, m s-2: geopotential to geopotential height.
inline constexpr double kGravity = 9.80665;

// Number of surface fields, the third extent of slp.
inline constexpr int32_t nsfcfld = 12;

// Fixed length of the name fields (standard-input lines, output names).
inline constexpr int kNameFieldLength = 255;

// A grid holds fewer points than this: 4 bytes each, a record's length
// must stay below 2^31 (the work file's record length is a 32-bit count).
inline constexpr int64_t kMaxGridPoints = int64_t{1} << 29;

}  // namespace i2m
