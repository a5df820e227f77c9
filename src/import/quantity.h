// The quantities the importer fills the converter's input with, in the
// system's own vocabulary and units, and where each one goes in the input
// record file. Every source kind maps its own parameters onto these.
#pragma once

#include <cstdint>
#include <string_view>

#include "input/record_layout.h"

namespace i2m {

enum class Quantity : uint8_t {
  // Upper air, one field per pressure level.
  height,             // geopotential height, m
  relative_humidity,  // percent
  specific_humidity,  // kg/kg
  temperature,        // K
  zonal_wind,         // m/s
  meridional_wind,    // m/s
  // Surface, one field.
  land_sea_mask,            // 0 to 1
  mean_sea_level_pressure,  // hPa
  surface_pressure,         // hPa
  topography,               // m
  // Soil, one field per layer; layers are told apart by the depth of their top.
  soil_temperature,  // K
  soil_moisture,     // volumetric, 0 to 1
  // Only an input of the vertical interpolation from model levels (ECMWF's
  // lnsp): written as the surface pressure it gives.
  log_surface_pressure,  // ln(Pa)
};

inline constexpr int kUpperAirQuantities = kUpperAirFields;

// The record file's order: the upper-air fields (ht, rh, q, tp, uw, vw),
// then the four surface fields before the soil layers.
inline constexpr Quantity kUpperAirOrder[kUpperAirQuantities] = {
    Quantity::height,      Quantity::relative_humidity, Quantity::specific_humidity,
    Quantity::temperature, Quantity::zonal_wind,        Quantity::meridional_wind};
inline constexpr Quantity kSurfaceOrder[] = {Quantity::land_sea_mask, Quantity::mean_sea_level_pressure,
                                             Quantity::surface_pressure, Quantity::topography};

inline bool is_upper_air(Quantity q) { return static_cast<int>(q) < kUpperAirQuantities; }
inline bool is_soil(Quantity q) { return q == Quantity::soil_temperature || q == Quantity::soil_moisture; }

// "temperature", "soil moisture", ...
std::string_view quantity_name(Quantity q);

// The unit the record file holds it in: "K", "%", "hPa", ...
std::string_view quantity_unit(Quantity q);

// The record file's field for an upper-air quantity (ht, rh, q, tp, uw, vw).
InputField upper_air_field(Quantity q);

// The surface slice (1 to 12) of a surface quantity, or of a soil quantity
// at layer 1 to 4.
int32_t surface_slice(Quantity q, int layer);

// The rows of the importer's tallies of missing points: one per kind of
// record of the file (the six upper-air fields, then the twelve surface
// slices).
inline constexpr int kTallyRows = kUpperAirFields + nsfcfld;
int tally_row(Quantity q, int layer);
std::string tally_row_name(int row);  // "temperature", "soil moisture layer 2"

}  // namespace i2m
