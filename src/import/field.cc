#include "import/field.h"

#include <charconv>
#include <cmath>

namespace i2m {
namespace {

constexpr double kSameGridTolerance = 0.0005;  // degrees

bool close(double a, double b) { return std::fabs(a - b) <= kSameGridTolerance; }

// Longitudes apart by whole turns are one meridian.
bool same_meridian(double a, double b) {
  const double turns = std::round((a - b) / 360.0);
  return close(a - turns * 360.0, b);
}

}  // namespace

bool LatLonGrid::is_global() const { return std::fabs(ni * dlon - 360.0) <= kSameGridTolerance; }

bool same_grid(const LatLonGrid& a, const LatLonGrid& b) {
  return a.problem == b.problem && a.ni == b.ni && a.nj == b.nj && close(a.south, b.south) &&
         close(a.north(), b.north()) && same_meridian(a.west, b.west) && same_meridian(a.east(), b.east());
}

double western_longitude(double degrees) {
  const double r = std::fmod(degrees + 180.0, 360.0);
  return (r < 0 ? r + 360.0 : r) - 180.0;
}

std::string format_number(double value) {
  // Six decimals are more than any grid or level needs; then trailing zeros go.
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  std::string s(buffer, r.ptr);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

std::string describe_grid(const LatLonGrid& g) {
  if (!g.problem.empty()) return g.problem;
  const double west = western_longitude(g.west);
  return std::to_string(g.ni) + " x " + std::to_string(g.nj) + " points, " + format_number(g.dlon) +
         " x " + format_number(g.dlat) + " degrees, latitudes " + format_number(g.south) + " to " +
         format_number(g.north()) + ", longitudes " + format_number(west) + " to " +
         format_number(west + (g.ni - 1) * g.dlon);
}

int64_t level_key(double level) { return std::llround(level * 1000.0); }

}  // namespace i2m
