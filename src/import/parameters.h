// What the sources call the quantities the importer fills the converter's
// input with: ERA5's and GFS's short names (as GRIB gives them and ERA5's
// NetCDF files use them), CF standard names, ERA5's soil layers, and the
// unit spellings the sources use. One table for every kind of source, and
// no library in it: a GRIB or NetCDF source looks its fields up here.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "common/constants.h"
#include "import/quantity.h"

namespace i2m {

// A parameter and what it is to the importer.
struct Parameter {
  const char* name;               // short name (GRIB) or variable name (NetCDF)
  const char* standard_names[2];  // CF standard names, or nullptr
  Quantity quantity;
  // Among parameters of one quantity, level and time the lowest is used.
  int preference;
  bool geopotential;  // divided by kGravity to give a height
  // GRIB: found on any level type, not only on "surface" (ERA5's GRIB1 msl
  // is on "surface", GFS's prmsl on "meanSea").
  bool any_level_type;
};

// An upper-air parameter by its name, else by a CF standard name; nullptr
// for one the importer does not use.
const Parameter* find_upper_air_parameter(const std::string& name, const std::string& standard_name = "");

// A surface parameter by its name, else by a CF standard name.
const Parameter* find_surface_parameter(const std::string& name, const std::string& standard_name = "");

// A parameter of a set on model (hybrid) levels, by its name, else by a CF
// standard name: temperature, specific humidity and the winds on every
// level, the logarithm of surface pressure and the surface geopotential
// that come with them (ECMWF stores both on level 1).
const Parameter* find_model_level_parameter(const std::string& name, const std::string& standard_name = "");

// A surface parameter of a GRIB field on level type `level_type`.
const Parameter* find_grib_surface_parameter(const std::string& short_name, const std::string& level_type);

// One of ERA5's four soil layers of temperature or moisture.
struct SoilLayer {
  long param_id;     // GRIB: GRIB1 cannot hold the 289 cm bottom of layer 4
  const char* name;  // stl1..stl4, swvl1..swvl4
  Quantity quantity;
  double top, bottom;  // m
};
const SoilLayer* find_era5_soil_layer(long param_id);
const SoilLayer* find_era5_soil_layer(const std::string& name);

// The depths (m) of layer n (1 to 4) of ECMWF's IFS soil, as its soil
// fields on level type 151 ("soilLayer") number them; nullopt for others.
std::optional<std::pair<double, double>> ecmwf_soil_layer(long n);

// A soil temperature ("st", "sot") or volumetric moisture ("sm", "vsw",
// "soilw") on level type 151, the layer given by its number.
std::optional<Quantity> find_numbered_soil_quantity(const std::string& short_name);

// GFS's soil temperature ("st", "sot", and "t" in older files) and
// volumetric moisture ("soilw", "vsw") on a layer below the land.
std::optional<Quantity> find_gfs_soil_quantity(const std::string& short_name, const std::string& level_type);

// Unit spellings.
bool is_hectopascal_unit(const std::string& units);    // hPa, millibars, mbar, ...
bool is_geopotential_unit(const std::string& units);   // m**2 s**-2, m2 s-2, ...

// The factor a NetCDF variable's units divide by to reach the system's,
// or nullopt for units of no known kind. A geopotential parameter without
// units is taken to be in m2 s-2.
std::optional<double> netcdf_divisor(Quantity q, bool geopotential, const std::string& units);

// The factor a GRIB parameter's values divide by: ecCodes gives pressures
// in Pa and geopotential in m2 s-2.
double grib_divisor(const Parameter& p);

}  // namespace i2m
