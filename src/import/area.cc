#include "import/area.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace i2m {
namespace {

std::optional<double> parse_number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<Area> parse_area(const std::string& text) {
  std::vector<double> values;
  size_t start = 0;
  for (;;) {
    const size_t slash = text.find('/', start);
    const std::optional<double> v = parse_number(text.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (!v) return std::nullopt;
    values.push_back(*v);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  if (values.size() != 4) return std::nullopt;
  const Area a{values[0], values[1], values[2], values[3]};
  if (a.north > 90 || a.south < -90 || a.south > a.north) return std::nullopt;
  return a;
}

void set_grid_numbers(const LatLonGrid& written, RunControl& rc) {
  rc.im = written.ni;
  rc.jm = written.nj;
  rc.grid_type = 0;
  rc.di = static_cast<int32_t>(std::lround(written.dlon * 1000.0));
  rc.dj = static_cast<int32_t>(std::lround(written.dlat * 1000.0));
  rc.la1 = static_cast<int32_t>(std::lround(written.south * 1000.0));
  // The first longitude in [-180, 180) degrees, as the grid description
  // convention wants it: a grid that starts at 180 E (ECMWF's open data)
  // starts at -180000, and lo2 stays within 360000 of it.
  const int64_t lo1 = std::lround(written.west * 1000.0);
  rc.lo1 = static_cast<int32_t>(((lo1 + 180000) % 360000 + 360000) % 360000 - 180000);
  rc.la2 = static_cast<int32_t>(std::lround(written.north() * 1000.0));
  rc.lo2 = rc.lo1 + (rc.im - 1) * rc.di;
}

}  // namespace i2m
