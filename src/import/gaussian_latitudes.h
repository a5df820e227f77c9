// The latitudes of a Gaussian grid, from ecCodes: the one place the
// importer computes them, for GRIB and NetCDF sources alike.
#pragma once

#include <vector>

namespace i2m {

// The 2N Gaussian latitudes of N (degrees, north to south); empty when
// ecCodes cannot compute them.
std::vector<double> gaussian_latitudes(int n);

}  // namespace i2m
