// The order of the input record file, stated once for its reader and its
// writers: ht, rh, q, tp, uw, vw (lm levels each, level 1 = highest pressure
// first), then the 12 surface slices of slp. Every record holds one
// horizontal field of im x jm values, west-east index fastest, rows from
// south to north, between two 4-byte little-endian length markers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/constants.h"

namespace i2m {

// The seven destinations of input records, in file order.
enum class InputField { ht, rh, q, tp, uw, vw, slp };
inline constexpr int kUpperAirFields = 6;  // ht to vw

// The twelve surface slices of slp, in file order: four single fields,
// then temperature and moisture of each soil layer, layer 1 (the top) first.
inline constexpr int32_t kLandSeaMaskSlice = 1;
inline constexpr int32_t kMeanSeaLevelPressureSlice = 2;
inline constexpr int32_t kSurfacePressureSlice = 3;
inline constexpr int32_t kTopographySlice = 4;
inline constexpr int kSoilLayers = 4;
inline constexpr int32_t soil_temperature_slice(int layer) { return kTopographySlice + 2 * layer - 1; }
inline constexpr int32_t soil_moisture_slice(int layer) { return kTopographySlice + 2 * layer; }
inline constexpr bool is_soil_moisture_slice(int32_t slice) { return slice > kTopographySlice && slice % 2 == 0; }
static_assert(soil_moisture_slice(kSoilLayers) == nsfcfld);

// Records of a file with lm levels: 6 lm + 12.
inline int64_t input_record_count(int32_t lm) { return kUpperAirFields * int64_t{lm} + nsfcfld; }

// The 1-based record number of level k of an upper-air field, or of
// surface slice k (1 to 12) when `field` is slp.
inline int64_t input_record_number(InputField field, int32_t k, int32_t lm) {
  if (field == InputField::slp) return kUpperAirFields * int64_t{lm} + k;
  return static_cast<int64_t>(field) * lm + k;
}

// Bytes one record of `points` values takes in the file, both markers included.
inline int64_t input_record_bytes(size_t points) { return 8 + 4 * static_cast<int64_t>(points); }

}  // namespace i2m
