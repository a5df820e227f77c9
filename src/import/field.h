// What a source says about one of its fields, in the system's vocabulary:
// the plain data that every step after the sources works on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "import/quantity.h"
#include "regrid/grid.h"

namespace i2m {

// What a field's level is.
enum class LevelKind : uint8_t {
  surface,     // a single-level field
  isobaric,    // value: pressure in Pa
  hybrid,      // value: the model level number, 1 at the top
  soil_layer,  // value: depth of the layer's top in m; bottom: of its bottom
};

struct Level {
  LevelKind kind = LevelKind::surface;
  double value = 0;
  double bottom = 0;

  static Level surface() { return {}; }
  static Level isobaric(double pa) { return {LevelKind::isobaric, pa, 0}; }
  static Level hybrid(double number) { return {LevelKind::hybrid, number, 0}; }
  static Level soil(double top, double bottom) { return {LevelKind::soil_layer, top, bottom}; }
};

// Levels compared by kind and by value in whole thousandths (of a Pa, of a
// m), so that 85000 Pa from one file and 850 hPa x 100 from another are one
// level, and model level 137 is never 137 Pa.
using LevelKey = std::pair<LevelKind, int64_t>;
LevelKey level_key(const Level& level);
// A value in whole thousandths, as level keys compare them.
int64_t thousandths(double value);

// "850 hPa", "model level 137", "surface", "soil 0.07-0.28 m".
std::string describe_level(const Level& level);

inline constexpr int64_t kNoMember = -1;

// The hybrid coefficients of a model-level field's vertical grid: a then b
// of the nlev + 1 half levels from the top (a in Pa), as GRIB's pv array
// holds them.
using HybridCoefficients = std::vector<double>;

// One field of a source.
struct FieldInfo {
  int64_t valid_time = 0;  // seconds since 1970-01-01 00:00 UTC
  Quantity quantity = Quantity::height;
  Level level;
  // Among fields of one quantity, level and time from different
  // parameters (orog and surface z, say) the lowest preference is taken.
  int preference = 0;
  std::shared_ptr<const Grid> grid;  // shared by the fields of a source on one grid
  // Model-level fields (and the surface pressure and geopotential that come
  // with them): the coefficients of their levels, or null.
  std::shared_ptr<const HybridCoefficients> hybrid;
  std::string name;    // the source's own parameter name, for listings
  std::string units;   // the source's units, for listings
  std::string place;   // where it is, for diagnostics: "FILE: message 12"
  int source = 0;      // index of its source in the inventory
  // The ensemble member (GRIB key number, NetCDF number coordinate), or
  // kNoMember for a field of no ensemble.
  int64_t member = kNoMember;
  uint64_t locator = 0;  // where the source finds it again; opaque elsewhere
};

}  // namespace i2m
