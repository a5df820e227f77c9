#include "import/parameters.h"

#include <algorithm>
#include <iterator>

namespace i2m {
namespace {

constexpr Parameter kUpperAir[] = {
    {"gh", {"geopotential_height", nullptr}, Quantity::height, 0, false, false},
    {"z", {"geopotential", nullptr}, Quantity::height, 1, true, false},
    {"r", {"relative_humidity", nullptr}, Quantity::relative_humidity, 0, false, false},
    {"q", {"specific_humidity", nullptr}, Quantity::specific_humidity, 0, false, false},
    {"t", {"air_temperature", nullptr}, Quantity::temperature, 0, false, false},
    {"u", {"eastward_wind", nullptr}, Quantity::zonal_wind, 0, false, false},
    {"v", {"northward_wind", nullptr}, Quantity::meridional_wind, 0, false, false},
};

constexpr Parameter kSurface[] = {
    {"lsm", {"land_binary_mask", "land_area_fraction"}, Quantity::land_sea_mask, 0, false, true},
    {"msl", {"air_pressure_at_mean_sea_level", "air_pressure_at_sea_level"}, Quantity::mean_sea_level_pressure, 0,
     false, true},
    // GFS's reduction to sea level; mslet (Eta reduction) is another quantity.
    {"prmsl", {nullptr, nullptr}, Quantity::mean_sea_level_pressure, 1, false, true},
    {"sp", {"surface_air_pressure", nullptr}, Quantity::surface_pressure, 0, false, false},
    {"orog", {"surface_altitude", nullptr}, Quantity::topography, 0, false, false},
    // The surface geopotential is the z without a pressure level.
    {"z", {"surface_geopotential", "geopotential"}, Quantity::topography, 1, true, false},
    // A geopotential height without a pressure level is the surface's.
    {"gh", {nullptr, nullptr}, Quantity::topography, 2, false, false},
    {"hgt", {nullptr, nullptr}, Quantity::topography, 2, false, false},
};

constexpr Parameter kModelLevel[] = {
    {"t", {"air_temperature", nullptr}, Quantity::temperature, 0, false, false},
    {"q", {"specific_humidity", nullptr}, Quantity::specific_humidity, 0, false, false},
    {"u", {"eastward_wind", nullptr}, Quantity::zonal_wind, 0, false, false},
    {"v", {"northward_wind", nullptr}, Quantity::meridional_wind, 0, false, false},
    {"lnsp", {nullptr, nullptr}, Quantity::log_surface_pressure, 0, false, false},
    {"z", {"surface_geopotential", "geopotential"}, Quantity::topography, 1, true, false},
};

constexpr SoilLayer kEra5Soil[] = {
    {139, "stl1", Quantity::soil_temperature, 0.0, 0.07}, {170, "stl2", Quantity::soil_temperature, 0.07, 0.28},
    {183, "stl3", Quantity::soil_temperature, 0.28, 1.0}, {236, "stl4", Quantity::soil_temperature, 1.0, 2.89},
    {39, "swvl1", Quantity::soil_moisture, 0.0, 0.07},    {40, "swvl2", Quantity::soil_moisture, 0.07, 0.28},
    {41, "swvl3", Quantity::soil_moisture, 0.28, 1.0},    {42, "swvl4", Quantity::soil_moisture, 1.0, 2.89},
};

constexpr const char* kHectopascal[] = {"hPa", "millibars", "millibar", "mbar", "mb"};
constexpr const char* kGeopotential[] = {"m**2 s**-2", "m2 s-2", "m^2 s^-2", "m2/s2", "m**2/s**2", "m^2/s^2", "m+2 s-2"};

template <typename Table>
bool listed(const Table& table, const std::string& s) {
  return std::any_of(std::begin(table), std::end(table), [&](const char* entry) { return s == entry; });
}

// By name first, then by standard name: a variable named "t" is the
// temperature whatever standard name it carries.
template <size_t N>
const Parameter* find_parameter(const Parameter (&table)[N], const std::string& name, const std::string& standard_name) {
  for (const Parameter& p : table) {
    if (name == p.name) return &p;
  }
  if (standard_name.empty()) return nullptr;
  for (const Parameter& p : table) {
    for (const char* s : p.standard_names) {
      if (s != nullptr && standard_name == s) return &p;
    }
  }
  return nullptr;
}

}  // namespace

const Parameter* find_upper_air_parameter(const std::string& name, const std::string& standard_name) {
  return find_parameter(kUpperAir, name, standard_name);
}

const Parameter* find_surface_parameter(const std::string& name, const std::string& standard_name) {
  return find_parameter(kSurface, name, standard_name);
}

const Parameter* find_model_level_parameter(const std::string& name, const std::string& standard_name) {
  return find_parameter(kModelLevel, name, standard_name);
}

const Parameter* find_grib_surface_parameter(const std::string& short_name, const std::string& level_type) {
  const Parameter* p = find_parameter(kSurface, short_name, "");
  // NetCDF's other names of the surface geopotential height are not GRIB's.
  if (p == nullptr || short_name == "hgt") return nullptr;
  return p->any_level_type || level_type == "surface" ? p : nullptr;
}

const SoilLayer* find_era5_soil_layer(long param_id) {
  for (const SoilLayer& l : kEra5Soil) {
    if (l.param_id == param_id) return &l;
  }
  return nullptr;
}

const SoilLayer* find_era5_soil_layer(const std::string& name) {
  for (const SoilLayer& l : kEra5Soil) {
    if (name == l.name) return &l;
  }
  return nullptr;
}

std::optional<std::pair<double, double>> ecmwf_soil_layer(long n) {
  // The layers of ERA5's stl1..4, which are IFS's.
  if (n < 1 || n > 4) return std::nullopt;
  const SoilLayer& layer = kEra5Soil[n - 1];
  return std::make_pair(layer.top, layer.bottom);
}

std::optional<Quantity> find_numbered_soil_quantity(const std::string& short_name) {
  if (short_name == "st" || short_name == "sot") return Quantity::soil_temperature;
  if (short_name == "sm" || short_name == "vsw" || short_name == "soilw") return Quantity::soil_moisture;
  return std::nullopt;
}

std::optional<Quantity> find_gfs_soil_quantity(const std::string& short_name, const std::string& level_type) {
  if (level_type != "depthBelowLandLayer" && level_type != "depthBelowLand") return std::nullopt;
  if (short_name == "st" || short_name == "sot" || short_name == "t") return Quantity::soil_temperature;
  if (short_name == "soilw" || short_name == "vsw") return Quantity::soil_moisture;
  return std::nullopt;
}

bool is_hectopascal_unit(const std::string& units) { return listed(kHectopascal, units); }

bool is_geopotential_unit(const std::string& units) { return listed(kGeopotential, units); }

std::optional<double> netcdf_divisor(Quantity q, bool geopotential, const std::string& units) {
  switch (q) {
    case Quantity::height:
    case Quantity::topography:
      if (is_geopotential_unit(units)) return kGravity;
      if (units == "m" || units == "gpm") return 1.0;
      if (units.empty()) return geopotential ? kGravity : 1.0;
      return std::nullopt;
    case Quantity::mean_sea_level_pressure:
    case Quantity::surface_pressure:
      if (units == "Pa") return 100.0;
      if (is_hectopascal_unit(units)) return 1.0;
      return std::nullopt;
    case Quantity::relative_humidity:
      if (units == "%" || units == "percent") return 1.0;
      if (units == "1" || units.empty()) return 0.01;  // a fraction: percent is 100 times it
      return std::nullopt;
    case Quantity::temperature:
    case Quantity::soil_temperature:
      if (units == "K" || units.empty()) return 1.0;
      return std::nullopt;
    default:
      return 1.0;  // winds, specific humidity, mask and soil moisture have one unit each
  }
}

double grib_divisor(const Parameter& p) {
  if (p.geopotential) return kGravity;
  const bool pressure = p.quantity == Quantity::mean_sea_level_pressure || p.quantity == Quantity::surface_pressure;
  return pressure ? 100.0 : 1.0;
}

}  // namespace i2m
