// From a source's decoded values to the system's units and order: the one
// place where every kind of source rounds to single precision.
#pragma once

#include <cstddef>
#include <vector>

#include "regrid/grid.h"

namespace i2m {

// Converts n doubles in the source's units to the system's units: each
// x / divisor computed in double and, for float output, rounded once
// (beyond the float range: an infinity, as IEEE 754 rounds it). NaN, the
// sources' mark for a missing point, becomes input_missing_flag in float
// output and stays NaN in double output. With `reversed` the values are
// taken from the last to the first. Returns the number of missing points.
size_t convert_row(const double* in, size_t n, double divisor, bool reversed, float* out);
size_t convert_row(const double* in, size_t n, double divisor, bool reversed, double* out);

// A whole regular field of ni x nj doubles, its rows stored north first or
// south first and each row east first or west first, converted as
// convert_row does into `out` with rows south to north and columns west to
// east.
template <typename T>
size_t convert_field(const double* in, size_t ni, size_t nj, bool north_first, bool east_first, double divisor,
                     T* out) {
  size_t missing = 0;
  for (size_t j = 0; j < nj; ++j) {
    const double* row = in + (north_first ? nj - 1 - j : j) * ni;
    missing += convert_row(row, ni, divisor, east_first, out + j * ni);
  }
  return missing;
}

// The same for a field on a grid of rows (each row of its own length):
// `rows` south to north as the grid describes them, stored north first or
// south first.
template <typename T>
size_t convert_rows(const double* in, const std::vector<GridRow>& rows, bool north_first, bool east_first,
                    double divisor, T* out) {
  const size_t total = rows.empty() ? 0 : rows.back().first + static_cast<size_t>(rows.back().points);
  size_t missing = 0;
  for (const GridRow& r : rows) {
    const auto n = static_cast<size_t>(r.points);
    const size_t stored = north_first ? total - r.first - n : r.first;
    missing += convert_row(in + stored, n, divisor, east_first, out + r.first);
  }
  return missing;
}

}  // namespace i2m
