// The order of the input record file, stated once for its reader and its
// writers: ht, rh, q, tp, uw, vw (lm levels each, level 1 = highest pressure
// first), then the 12 surface slices of slp. Every record holds one
// horizontal field of im x jm values, west-east index fastest, rows from
// south to north.
#pragma once

#include <cstdint>

#include "common/constants.h"

namespace i2m {

// The seven destinations of input records, in file order.
enum class InputField { ht, rh, q, tp, uw, vw, slp };

// Records of a file with lm levels: 6 lm + 12.
inline int64_t input_record_count(int32_t lm) { return 6 * int64_t{lm} + nsfcfld; }

// The 1-based record number of level k of an upper-air field, or of
// surface slice k (1 to 12) when `field` is slp.
inline int64_t input_record_number(InputField field, int32_t k, int32_t lm) {
  if (field == InputField::slp) return 6 * int64_t{lm} + k;
  return static_cast<int64_t>(field) * lm + k;
}

}  // namespace i2m
