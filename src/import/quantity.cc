#include "import/quantity.h"

#include <string>

namespace i2m {

std::string_view quantity_name(Quantity q) {
  switch (q) {
    case Quantity::height: return "geopotential height";
    case Quantity::relative_humidity: return "relative humidity";
    case Quantity::specific_humidity: return "specific humidity";
    case Quantity::temperature: return "temperature";
    case Quantity::zonal_wind: return "zonal wind";
    case Quantity::meridional_wind: return "meridional wind";
    case Quantity::land_sea_mask: return "land-sea mask";
    case Quantity::mean_sea_level_pressure: return "mean sea-level pressure";
    case Quantity::surface_pressure: return "surface pressure";
    case Quantity::topography: return "topography";
    case Quantity::soil_temperature: return "soil temperature";
    case Quantity::soil_moisture: return "soil moisture";
  }
  return "?";
}

std::string_view quantity_unit(Quantity q) {
  switch (q) {
    case Quantity::height:
    case Quantity::topography: return "m";
    case Quantity::relative_humidity: return "%";
    case Quantity::specific_humidity: return "kg/kg";
    case Quantity::temperature:
    case Quantity::soil_temperature: return "K";
    case Quantity::zonal_wind:
    case Quantity::meridional_wind: return "m/s";
    case Quantity::mean_sea_level_pressure:
    case Quantity::surface_pressure: return "hPa";
    case Quantity::land_sea_mask:
    case Quantity::soil_moisture: return "0-1";
  }
  return "?";
}

InputField upper_air_field(Quantity q) {
  switch (q) {
    case Quantity::height: return InputField::ht;
    case Quantity::relative_humidity: return InputField::rh;
    case Quantity::specific_humidity: return InputField::q;
    case Quantity::temperature: return InputField::tp;
    case Quantity::zonal_wind: return InputField::uw;
    default: return InputField::vw;
  }
}

int32_t surface_slice(Quantity q, int layer) {
  switch (q) {
    case Quantity::land_sea_mask: return 1;
    case Quantity::mean_sea_level_pressure: return 2;
    case Quantity::surface_pressure: return 3;
    case Quantity::topography: return 4;
    case Quantity::soil_temperature: return 5 + 2 * (layer - 1);
    default: return 6 + 2 * (layer - 1);  // soil moisture
  }
}

int record_kind(Quantity q, int layer) {
  if (is_upper_air(q)) return static_cast<int>(upper_air_field(q));
  return 5 + surface_slice(q, layer);
}

std::string record_kind_name(int kind) {
  if (kind < kUpperAirQuantities) return std::string(quantity_name(kUpperAirOrder[kind]));
  const int slice = kind - 5;
  if (slice <= 4) return std::string(quantity_name(kSurfaceOrder[slice - 1]));
  const Quantity soil = slice % 2 == 1 ? Quantity::soil_temperature : Quantity::soil_moisture;
  return std::string(quantity_name(soil)) + " layer " + std::to_string((slice - 3) / 2);
}

}  // namespace i2m
