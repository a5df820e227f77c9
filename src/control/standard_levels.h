// Pressure-level lists that data sets and the tools share, in hPa from the
// ground up.
#pragma once

namespace i2m {

// ERA5's 37 pressure levels, the levels of its pressure-level product.
inline constexpr float kEra5LevelsHpa[37] = {1000, 975, 950, 925, 900, 875, 850, 825, 800, 775, 750, 700, 650,
                                              600,  550, 500, 450, 400, 350, 300, 250, 225, 200, 175, 150, 125,
                                              100,  70,  50,  30,  20,  10,  7,   5,   3,   2,   1};

// The 17 standard levels of the older global data sets.
inline constexpr float kStandard17LevelsHpa[17] = {1000, 925, 850, 700, 600, 500, 400, 300, 250,
                                                    200,  150, 100, 70,  50,  30,  20,  10};

}  // namespace i2m
