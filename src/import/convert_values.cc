#include "import/convert_values.h"

#include <algorithm>
#include <limits>

#include "common/constants.h"

namespace i2m {
namespace {

// IEEE 754 (IEC 559) defines the narrowing of every double, NaN and values
// beyond the float range included, which lets the loops below convert
// every point first and test the result after: no branch, whole vectors.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

template <bool kDivide>
size_t convert(const double* in, size_t n, double divisor, float* out) {
  size_t missing = 0;
  for (size_t i = 0; i < n; ++i) {
    const double x = in[i];
    const float f = static_cast<float>(kDivide ? x / divisor : x);
    const bool is_nan = f != f;
    out[i] = is_nan ? input_missing_flag : f;
    missing += is_nan;
  }
  return missing;
}

template <bool kDivide>
size_t convert(const double* in, size_t n, double divisor, double* out) {
  size_t missing = 0;
  for (size_t i = 0; i < n; ++i) {
    const double x = kDivide ? in[i] / divisor : in[i];
    out[i] = x;
    missing += x != x;
  }
  return missing;
}

template <typename T>
size_t convert_any_row(const double* in, size_t n, double divisor, bool reversed, T* out) {
  // x / 1 is x: the division is left out, not its result.
  const size_t missing = divisor == 1.0 ? convert<false>(in, n, divisor, out) : convert<true>(in, n, divisor, out);
  // Rows stored east to west are rare; turning the values round after the
  // conversion keeps the conversion itself on whole vectors.
  if (reversed) std::reverse(out, out + n);
  return missing;
}

}  // namespace

size_t convert_row(const double* in, size_t n, double divisor, bool reversed, float* out) {
  return convert_any_row(in, n, divisor, reversed, out);
}

size_t convert_row(const double* in, size_t n, double divisor, bool reversed, double* out) {
  return convert_any_row(in, n, divisor, reversed, out);
}

}  // namespace i2m
