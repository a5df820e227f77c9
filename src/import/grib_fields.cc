#include "import/grib_fields.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <utility>
#include <optional>

#include "common/failure.h"
#include "import/data_time.h"
#include "import/parameters.h"

namespace i2m {

ParameterNames read_parameter_names(const Keys& keys) {
  ParameterNames names;
  names.short_name = keys.get_string("shortName");
  names.level_type = keys.get_string("typeOfLevel");
  names.param_id = keys.get_long("paramId");
  names.units = keys.find_string("units").value_or("");
  names.step_type = keys.find_string("stepType").value_or("instant");
  return names;
}

std::string not_instantaneous(const Keys& keys, const ParameterNames& names) {
  if (names.step_type == "instant") return "";
  static const std::pair<const char*, const char*> kKinds[] = {
      {"avg", "average"}, {"accum", "accumulation"}, {"max", "maximum"}, {"min", "minimum"},
      {"diff", "difference"}, {"rms", "root mean square"}, {"sd", "standard deviation"}};
  std::string kind = names.step_type;
  for (const auto& [type, name] : kKinds) {
    if (kind == type) kind = name;
  }
  // The interval from the step range "0-6" and its units.
  const std::string range = keys.find_string("stepRange").value_or("");
  const std::string units = keys.find_string("stepUnits").value_or("h");
  const size_t dash = range.find('-');
  std::string over;
  if (dash != std::string::npos) {
    const long length = std::atol(range.c_str() + dash + 1) - std::atol(range.c_str());
    over = " over " + std::to_string(length) + " " + units;
  }
  return names.short_name + ", " + kind + over + ": not an instantaneous value";
}

// The plain keys that decide a message's parameter, level type and units:
// its tables, parameter numbers, level types, statistical processing, and
// its level values, except on isobaric levels, where the pressure names no
// other parameter (so that the 37 levels of one field share one entry).
std::vector<long> parameter_identity(codes_handle* h, long edition) {
  static constexpr const char* kGrib1[] = {"centre", "subCentre", "table2Version", "indicatorOfParameter",
                                           "indicatorOfTypeOfLevel", "timeRangeIndicator", "localDefinitionNumber"};
  static constexpr const char* kGrib2[] = {"centre", "subCentre", "tablesVersion", "localTablesVersion", "discipline",
                                           "parameterCategory", "parameterNumber", "productDefinitionTemplateNumber",
                                           "typeOfFirstFixedSurface", "typeOfSecondFixedSurface",
                                           "typeOfStatisticalProcessing", "constituentType", "aerosolType",
                                           "localDefinitionNumber"};
  static constexpr const char* kGrib1Level[] = {"level"};
  static constexpr const char* kGrib2Level[] = {"scaleFactorOfFirstFixedSurface", "scaledValueOfFirstFixedSurface",
                                                "scaleFactorOfSecondFixedSurface", "scaledValueOfSecondFixedSurface"};
  std::vector<long> identity{edition};
  auto add = [&](const char* key) {
    long value = LONG_MIN;  // absent from this message
    codes_get_long(h, key, &value);
    identity.push_back(value);
  };
  if (edition == 1) {
    for (const char* key : kGrib1) add(key);
    const long type = identity[5];
    if (type != 100 && type != 210) add(kGrib1Level[0]);  // hPa and ECMWF's Pa
  } else {
    for (const char* key : kGrib2) add(key);
    if (identity[9] != 100 || identity[10] != 255) {
      for (const char* key : kGrib2Level) add(key);
    }
  }
  return identity;
}

std::vector<long> message_kind(codes_handle* h, std::vector<long> identity) {
  static constexpr const char* kLayout[] = {"bitmapPresent", "dataRepresentationType", "gridDefinitionTemplateNumber",
                                            "dataRepresentationTemplateNumber"};
  for (const char* key : kLayout) {
    long value = LONG_MIN;
    codes_get_long(h, key, &value);
    identity.push_back(value);
  }
  return identity;
}

// GFS for NCEP, ERA5 for ECMWF's reanalysis class, else the centre.
std::string model_name_of(const Keys& keys) {
  const std::string centre = keys.find_string("centre").value_or("");
  if (centre == "kwbc") return "GFS";
  if (centre == "ecmf" && keys.find_string("marsClass").value_or("") == "ea") return "ERA5";
  std::string name;
  for (char c : centre) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// ECMWF's GRIB1 headers
// carry a number 0 in deterministic data too; only a message that states
// an ensemble (or does not say how large its ensemble is) is a member.
int64_t member_of(const Keys& keys) {
  const std::optional<long> number = keys.find_long("number");
  if (!number) return kNoMember;
  const std::optional<long> ensemble = keys.find_long("numberOfForecastsInEnsemble");
  if (ensemble && *ensemble == 0) return kNoMember;
  return *number;
}

namespace {

// A pressure level in Pa: GRIB2 from its scaled value, since ecCodes'
// integer level reads 150 Pa as 1.
std::optional<double> isobaric_level(const Keys& keys, long edition, const std::string& level_type) {
  if (edition == 2) return fixed_surface(keys, "scaledValueOfFirstFixedSurface", "scaleFactorOfFirstFixedSurface");
  const double level = static_cast<double>(keys.get_long("level"));
  return level_type == "isobaricInhPa" ? level * 100.0 : level;
}

// The top and bottom of a soil layer in m (GRIB1 states them in cm).
bool read_layer(const Keys& keys, long edition, FieldInfo& info) {
  if (edition == 1) {
    info.level = Level::soil(static_cast<double>(keys.get_long("topLevel")) / 100.0,
                             static_cast<double>(keys.get_long("bottomLevel")) / 100.0);
    return true;
  }
  const std::optional<double> top = fixed_surface(keys, "scaledValueOfFirstFixedSurface", "scaleFactorOfFirstFixedSurface");
  if (!top) return false;
  info.level = Level::soil(
      *top, fixed_surface(keys, "scaledValueOfSecondFixedSurface", "scaleFactorOfSecondFixedSurface").value_or(*top));
  return true;
}

void take(const Parameter& p, FieldInfo& info, GribLocation& location) {
  info.quantity = p.quantity;
  info.preference = p.preference;
  location.divisor = grib_divisor(p);
}

}  // namespace

// ECMWF's open data since IFS 49r1 number the soil layers (level type 151)
// instead of giving their depths; other centres' layers of that type have
// depths of their own, not stated.
bool classify_numbered_soil(const Keys& keys, const ParameterNames& names, FieldInfo& info, std::string& ignored) {
  const std::optional<Quantity> q = find_numbered_soil_quantity(names.short_name);
  if (!q) return false;
  const std::optional<double> number = fixed_surface(keys, "scaledValueOfFirstFixedSurface", "scaleFactorOfFirstFixedSurface");
  const long n = number ? std::lround(*number) : 0;
  const std::string centre = keys.find_string("centre").value_or("");
  const std::optional<std::pair<double, double>> depths = centre == "ecmf" ? ecmwf_soil_layer(n) : std::nullopt;
  if (!depths) {
    ignored = names.short_name + " on " + names.level_type + " " + std::to_string(n) + " of centre " + centre +
              ": the depths of its layers are not known";
    return false;
  }
  info.quantity = *q;
  info.level = Level::soil(depths->first, depths->second);
  return true;
}

bool classify_field(const Keys& keys, long edition, const ParameterNames& names, FieldInfo& info,
                    GribLocation& location, std::string& ignored) {
  const std::string& name = names.short_name;
  const std::string& level_type = names.level_type;
  info.name = name;
  info.units = names.units;
  // Level type 151: "soilLayer", or "soil" in older ecCodes.
  if (edition == 2 && keys.find_long("typeOfFirstFixedSurface") == 151L) {
    return classify_numbered_soil(keys, names, info, ignored);
  }
  const bool isobaric = level_type == "isobaricInhPa" || level_type == "isobaricInPa";
  if (level_type == "hybrid") {
    const Parameter* p = find_model_level_parameter(name);
    const long level = keys.get_long("level");
    // ECMWF stores lnsp and the surface geopotential on level 1.
    if (p == nullptr || (!is_upper_air(p->quantity) && level != 1)) return false;
    take(*p, info, location);
    info.level = Level::hybrid(static_cast<double>(level));
    return true;
  }
  if (const Parameter* p = isobaric ? find_upper_air_parameter(name) : nullptr) {
    const std::optional<double> pa = isobaric_level(keys, edition, level_type);
    if (!pa) return false;
    take(*p, info, location);
    info.level = Level::isobaric(*pa);
    return true;
  }
  if (const Parameter* p = find_grib_surface_parameter(name, level_type)) {
    take(*p, info, location);
    return true;
  }
  // ERA5's soil layers by parameter id, since GRIB1 cannot hold the 289 cm
  // bottom of layer 4.
  if (const SoilLayer* layer = find_era5_soil_layer(names.param_id)) {
    info.quantity = layer->quantity;
    info.level = Level::soil(layer->top, layer->bottom);
    return true;
  }
  const std::optional<Quantity> soil = find_gfs_soil_quantity(name, level_type);
  if (!soil) return false;
  info.quantity = *soil;
  return read_layer(keys, edition, info);
}

int64_t validity_time(const Keys& keys, const std::string& place) {
  CivilTime t{};
  const long date = keys.get_long("validityDate");
  const long time = keys.get_long("validityTime");
  t.year = date / 10000;
  t.month = static_cast<int>(date / 100 % 100);
  t.day = static_cast<int>(date % 100);
  t.hour = static_cast<int>(time / 100);
  t.minute = static_cast<int>(time % 100);
  if (!valid_civil(t)) fail_file(place, "validity time " + std::to_string(date) + " " + std::to_string(time) + " is not a date");
  return seconds_from_civil(t);
}

}  // namespace i2m
