#include "inspect/bounds.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/file_io.h"
#include "inspect/work_file_layout.h"

namespace inspect {
namespace {

// The defaults. A value outside its bound is no weather the model can
// start from: a unit mixed up (Celsius for kelvin, Pa for hPa), a marker
// or a fill value passed for data, a field left at zero.
struct DefaultBound {
  const char* name;
  Bound bound;
};
const DefaultBound kDefaults[] = {
    // The strongest jet streams measured reach about 110 m/s.
    {"u", {Bound::range, -150, 150, false}},
    {"v", {Bound::range, -150, 150, false}},
    // The moistest tropical air holds about 0.03 kg/kg; specific humidity
    // is never negative.
    {"q", {Bound::range, 0, 0.05, false}},
    // From the coldest tropical tropopause and polar night (about 175 K) to
    // the hottest air at the ground (330 K), with room on both sides.
    {"t", {Bound::range, 150, 350, false}},
    // The converter writes the mask as 0 and 1 only.
    {"lsm", {Bound::zero_or_one, 0, 1, false}},
    // The deepest tropical cyclone measured reached 870 hPa, the strongest
    // Siberian high 1084 hPa.
    {"msl", {Bound::range, 850, 1100, false}},
    // A grid box over the Himalaya lies near 500 hPa (the summit of Everest
    // near 330 hPa, but no grid is that fine).
    {"sp", {Bound::range, 400, 1100, false}},
    // From the shore of the Dead Sea (-430 m) to Everest (8849 m).
    {"topo", {Bound::range, -500, 9000, false}},
    // Ground from the East Antarctic night (about 180 K) to sunlit desert
    // (about 340 K); the sea has no soil, so only land is held to it.
    {"st1", {Bound::range, 180, 350, true}},
    {"st2", {Bound::range, 180, 350, true}},
    {"st3", {Bound::range, 180, 350, true}},
    {"st4", {Bound::range, 180, 350, true}},
    // Volumetric soil moisture is a fraction of the soil's volume.
    {"sm1", {Bound::range, 0, 1, true}},
    {"sm2", {Bound::range, 0, 1, true}},
    {"sm3", {Bound::range, 0, 1, true}},
    {"sm4", {Bound::range, 0, 1, true}},
};

const char* const kGroups[][5] = {{"st", "st1", "st2", "st3", "st4"}, {"sm", "sm1", "sm2", "sm3", "sm4"}};

const i2m::WorkFileField* work_field(const std::string& name) {
  for (const i2m::WorkFileField& f : i2m::kWorkFields) {
    if (name == f.short_name) return &f;
  }
  return nullptr;
}

bool is_field_name(const std::string& name) { return name == "st" || name == "sm" || work_field(name) != nullptr; }

bool is_three_d(const std::string& name) {
  const i2m::WorkFileField* f = work_field(name);
  return f != nullptr && f->three_d;
}

bool in_group(const std::string& group, const std::string& name) {
  for (const auto& g : kGroups) {
    if (group != g[0]) continue;
    for (int n = 1; n < 5; ++n) {
      if (name == g[n]) return true;
    }
  }
  return false;
}

std::optional<double> number(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

// One layer of the standard atmosphere: its base height (m), temperature
// (K), lapse rate (K/m) and pressure (hPa).
struct Layer {
  double height, temperature, lapse, pressure;
};
constexpr Layer kLayers[] = {
    {0, 288.15, -0.0065, 1013.25},         {11000, 216.65, 0, 226.3206},       {20000, 216.65, 0.001, 54.74889},
    {32000, 228.65, 0.0028, 8.680187},     {47000, 270.65, 0, 1.109063},       {51000, 270.65, -0.0028, 0.6693887},
    {71000, 214.65, -0.002, 0.03956420},
};
constexpr double kGasOverGravity = 287.053 / 9.80665;  // dry air's gas constant over g0, m/K

}  // namespace

double standard_atmosphere_height(double pressure_hpa) {
  const Layer* layer = &kLayers[0];
  for (const Layer& l : kLayers) {
    if (pressure_hpa <= l.pressure) layer = &l;
  }
  if (layer->lapse == 0) return layer->height + kGasOverGravity * layer->temperature * std::log(layer->pressure / pressure_hpa);
  return layer->height +
         layer->temperature / layer->lapse * (std::pow(pressure_hpa / layer->pressure, -kGasOverGravity * layer->lapse) - 1);
}

double height_margin(double standard_height_m) { return 1000.0 + 0.15 * std::fabs(standard_height_m); }

BoundsTable::BoundsTable() = default;

std::optional<Bound> BoundsTable::find(const std::string& short_name, float level_hpa) const {
  std::optional<Bound> bound;
  if (short_name == "z" && level_hpa > 0) {
    const double z = standard_atmosphere_height(level_hpa);
    bound = Bound{Bound::range, z - height_margin(z), z + height_margin(z), false};
  }
  for (const DefaultBound& d : kDefaults) {
    if (short_name == d.name) bound = d.bound;
  }
  // A field's line, then a level's, each later one over the earlier.
  for (int pass = 0; pass < 2; ++pass) {
    for (const Entry& e : changes_) {
      const bool names_it = e.name == short_name || in_group(e.name, short_name);
      if (!names_it || e.level_hpa.has_value() != (pass == 1)) continue;
      if (e.level_hpa && std::fabs(*e.level_hpa - level_hpa) > 1e-3f) continue;
      Bound b = e.bound;
      b.land_only = bound ? bound->land_only : false;
      bound = b;
    }
  }
  return bound;
}

void BoundsTable::read_file(const std::string& path) {
  if (const std::string kind = i2m::irregular_file_kind(path); !kind.empty()) {
    throw InspectError(path + ": not a regular file: " + kind);
  }
  std::ifstream in(path);
  if (!in) throw InspectError(path + ": cannot open the bounds file");
  std::string line;
  for (int number_of_line = 1; std::getline(in, line); ++number_of_line) {
    const auto fail = [&](const std::string& why) {
      throw InspectError(path + ": line " + std::to_string(number_of_line) + ": " + why);
    };
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string name, low, high, extra;
    if (!(words >> name)) continue;
    if (!(words >> low >> high) || (words >> extra)) fail("expected NAME MIN MAX");
    Entry e;
    const size_t colon = name.find(':');
    e.name = name.substr(0, colon);
    if (!is_field_name(e.name)) {
      fail("no field \"" + e.name + "\" (u v z q t lsm msl sp topo st1..st4 sm1..sm4, st or sm, or NAME:LEVEL)");
    }
    if (colon != std::string::npos) {
      const std::optional<double> level = number(name.substr(colon + 1));
      if (!is_three_d(e.name) || !level || *level <= 0) fail("a level is given as NAME:LEVEL in hPa, for u v z q t");
      e.level_hpa = static_cast<float>(*level);
    }
    const std::optional<double> min = number(low), max = number(high);
    if (!min || !max) fail("MIN and MAX must be numbers");
    if (*min > *max) fail("MIN is above MAX");
    e.bound = Bound{Bound::range, *min, *max, false};
    changes_.push_back(e);
  }
}

}  // namespace inspect
