// ECMWF's 137 model levels, for model-level files that do not carry the
// coefficients of their levels (NetCDF written without them).
#pragma once

#include "import/field.h"

namespace i2m {

inline constexpr int kL137Levels = 137;

// The pv array of the L137 levels: the a (Pa) of half levels 0 to 137, then
// their b.
const HybridCoefficients& ecmwf_l137();

}  // namespace i2m
