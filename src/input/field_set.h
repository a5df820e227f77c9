// The arrays of one run. Every grid is im x jm x n single-precision values,
// first index (west-east) fastest, then south-north, then level or slice;
// level 1 is the lowest level (highest pressure). All arrays live in one
// block allocated at the start of the run and released at its end.
// qnew2 and q share their storage: q is dead once the level check is over.
#pragma once

#include <cstddef>
#include <cstdint>

namespace i2m {

struct FieldSet {
  int32_t im = 0;
  int32_t jm = 0;
  int32_t lm = 0;
  float* ht = nullptr;     // geopotential height (m)
  float* tp = nullptr;     // temperature (K)
  float* uw = nullptr;     // zonal wind (m/s)
  float* vw = nullptr;     // meridional wind (m/s)
  float* rh = nullptr;     // relative humidity (percent)
  float* q = nullptr;      // specific humidity of the input (kg/kg)
  float* qnew2 = nullptr;  // specific humidity derived from rh and tp; shares
                           // q's storage, which nothing reads after the level check
  float* slp = nullptr;    // the 12 surface fields, one per slice
  float* pr = nullptr;     // lm level pressures (hPa)

  FieldSet() = default;
  FieldSet(const FieldSet&) = delete;
  FieldSet& operator=(const FieldSet&) = delete;
  FieldSet(FieldSet&& other) noexcept;
  FieldSet& operator=(FieldSet&& other) noexcept;
  ~FieldSet();

  // Points of one horizontal slice.
  size_t slice_points() const { return static_cast<size_t>(im) * static_cast<size_t>(jm); }
  // Level k (1-based) of a 3-D array, or slice k of slp.
  float* slice(float* array, int32_t k) const { return array + (static_cast<size_t>(k) - 1) * slice_points(); }

  void* block = nullptr;  // owns every array above
  size_t block_bytes = 0;
};

// Allocates every array of the run at once. Ends the run with exit status 1
// ("Allocation would exceed memory limit") when the storage cannot be had,
// the whole block being too large to count in 64 bits included, and with
// exit status 2 when the size of one array cannot be counted in 64 bits.
FieldSet allocate_field_set(int32_t im, int32_t jm, int32_t lm);

}  // namespace i2m
