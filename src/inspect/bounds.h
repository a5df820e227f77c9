// The physical bounds a work file's values must keep to be ready for the
// model: one table of defaults, which a small text file may change for a
// domain that needs others (a plateau, a polar night).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace inspect {

// What the values of one record may be.
struct Bound {
  enum Kind { range, zero_or_one };
  Kind kind = range;
  double min = 0, max = 0;  // kind range, inclusive
  bool land_only = false;   // soil fields: only where the land-sea mask is 1
};

// The default bounds and the changes of a bounds file, by field short name
// (u v z q t lsm msl sp topo st1..st4 sm1..sm4), optionally at one level.
class BoundsTable {
 public:
  // The built-in table.
  BoundsTable();

  // The bound of `short_name` at `level_hpa` (0 for a surface field), or
  // nullopt for a field that has none.
  std::optional<Bound> find(const std::string& short_name, float level_hpa) const;

  // Reads a bounds file: one "NAME MIN MAX" per line, NAME a short name,
  // "st" or "sm" (all four layers) or NAME:LEVEL (a 3-D field at one level
  // in hPa); "#" starts a comment. Later lines win, a level's line wins over
  // its field's. Throws InspectError naming the file and the line.
  void read_file(const std::string& path);

 private:
  struct Entry {
    std::string name;
    std::optional<float> level_hpa;
    Bound bound;
  };
  std::vector<Entry> changes_;
};

// The height (m) of a pressure (hPa) in the U.S. Standard Atmosphere 1976,
// from the ground up to 71 km (0.04 hPa), and beyond it at the last lapse rate.
double standard_atmosphere_height(double pressure_hpa);

// How far a geopotential height may stray from the standard atmosphere's
// at its level: 1000 m and 15 % of that height.
double height_margin(double standard_height_m);

}  // namespace inspect
