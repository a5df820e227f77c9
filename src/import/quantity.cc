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
    case Quantity::log_surface_pressure: return "logarithm of surface pressure";
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
    case Quantity::log_surface_pressure: return "ln Pa";
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
    case Quantity::land_sea_mask: return kLandSeaMaskSlice;
    case Quantity::mean_sea_level_pressure: return kMeanSeaLevelPressureSlice;
    case Quantity::surface_pressure: return kSurfacePressureSlice;
    case Quantity::topography: return kTopographySlice;
    case Quantity::soil_temperature: return soil_temperature_slice(layer);
    default: return soil_moisture_slice(layer);
  }
}

int tally_row(Quantity q, int layer) {
  if (is_upper_air(q)) return static_cast<int>(upper_air_field(q));
  return kUpperAirFields - 1 + surface_slice(q, layer);
}

std::string tally_row_name(int row) {
  if (row < kUpperAirQuantities) return std::string(quantity_name(kUpperAirOrder[row]));
  const int32_t slice = row - kUpperAirFields + 1;
  if (slice <= kTopographySlice) return std::string(quantity_name(kSurfaceOrder[slice - 1]));
  const Quantity soil = is_soil_moisture_slice(slice) ? Quantity::soil_moisture : Quantity::soil_temperature;
  return std::string(quantity_name(soil)) + " layer " + std::to_string((slice - kTopographySlice + 1) / 2);
}

}  // namespace i2m
