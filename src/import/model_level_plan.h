// What the vertical step reads for a data time whose upper air comes on
// model (hybrid) levels: temperature, specific humidity and the winds of
// every model level from the ground up to one above the highest pressure
// level written, the surface pressure (lnsp or sp) and the surface
// geopotential (z or orography), and the levels' coefficients.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "import/inventory.h"
#include "regrid/vertical.h"

namespace i2m {

// No surface pressure reaches this (the highest observed is 1084 hPa): the
// model levels an import reads are those every column up to it needs.
inline constexpr double kMaxSurfacePressure = 110000;  // Pa

struct ModelLevelPlan {
  HybridLevels levels;
  int top = 0;  // the highest model level read
  // Temperature, specific humidity, zonal and meridional wind of model
  // levels top to nlev, in that order (index k - top).
  std::vector<std::array<const FieldInfo*, 4>> columns;
  const FieldInfo* surface_pressure = nullptr;      // lnsp (log_pressure) or sp (hPa)
  bool log_pressure = false;
  const FieldInfo* surface_geopotential = nullptr;  // a topography: z / g or orography, m
};

// Whether the data time's upper-air fields are on model levels, on
// pressure levels, or both.
bool has_model_levels(const Inventory& inv, int64_t time);
bool has_pressure_levels(const Inventory& inv, int64_t time);

// The plan of a data time on model levels, written at `output_pa`. Ends the
// run with exit status 2 naming the files and the reason for: fields whose
// coefficients differ (naming two), coefficients that describe no levels,
// an output level above the top model level, model levels missing between
// the ground and the highest output level, and a missing surface pressure
// or surface geopotential.
ModelLevelPlan plan_model_levels(const Inventory& inv, int64_t time, const std::vector<double>& output_pa);

// "5, 7 to 9": level numbers, ascending.
std::string format_level_numbers(const std::vector<int>& levels);

}  // namespace i2m
