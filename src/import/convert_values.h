// From a source's decoded values to the record file's floats: the one place
// where every kind of source rounds to single precision.
#pragma once

#include <cstddef>

namespace i2m {

// Converts n doubles in the source's units to floats in the system's
// units: each x / divisor computed in double and rounded once to float
// (beyond the float range: an infinity, as IEEE 754 rounds it). NaN, the
// sources' mark for a missing point, becomes input_missing_flag. With
// `reversed` the values are taken from the last to the first. Returns the
// number of missing points.
size_t convert_row(const double* in, size_t n, double divisor, bool reversed, float* out);

// A whole field of ni x nj doubles, its rows stored north first or south
// first and each row east first or west first, converted as convert_row
// does into `out` with rows south to north and columns west to east.
size_t convert_field(const double* in, size_t ni, size_t nj, bool north_first, bool east_first, double divisor,
                     float* out);

}  // namespace i2m
