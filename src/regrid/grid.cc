#include "regrid/grid.h"

#include <cmath>
#include <numeric>

#include "common/number_text.h"

namespace i2m {
namespace {

constexpr double kSameGridTolerance = 0.0005;  // degrees

bool close(double a, double b) { return std::fabs(a - b) <= kSameGridTolerance; }

// Longitudes apart by whole turns are one meridian.
bool same_meridian(double a, double b) {
  const double turns = std::round((a - b) / 360.0);
  return close(a - turns * 360.0, b);
}

bool same_row(const GridRow& a, const GridRow& b) {
  return a.points == b.points && close(a.lat, b.lat) && same_meridian(a.west, b.west) && close(a.dlon, b.dlon);
}

bool row_is_global(const GridRow& r) { return close(r.points * r.dlon, 360.0); }

// The mean distance between rows, in degrees.
double row_spacing(const Grid& g) {
  if (g.rows.size() < 2) return 0;
  return (g.rows.back().lat - g.rows.front().lat) / static_cast<double>(g.rows.size() - 1);
}

const char* kind_name(GridKind kind) {
  switch (kind) {
    case GridKind::regular_ll: return "regular latitude-longitude";
    case GridKind::regular_gg: return "regular Gaussian";
    case GridKind::reduced_gg: return "reduced Gaussian";
    case GridKind::reduced_ll: return "reduced latitude-longitude";
    case GridKind::unsupported: break;
  }
  return "unsupported";
}

}  // namespace

bool LatLonGrid::is_global() const { return close(ni * dlon, 360.0); }

size_t Grid::points() const {
  if (kind == GridKind::regular_ll) return regular.points();
  if (rows.empty()) return 0;
  return rows.back().first + static_cast<size_t>(rows.back().points);
}

bool Grid::is_global_in_longitude() const {
  if (kind == GridKind::regular_ll) return regular.is_global();
  if (kind == GridKind::unsupported || rows.empty()) return false;
  for (const GridRow& r : rows) {
    if (!row_is_global(r)) return false;
  }
  return true;
}

Grid regular_grid(const LatLonGrid& g) {
  Grid grid;
  grid.kind = GridKind::regular_ll;
  grid.regular = g;
  return grid;
}

Grid unsupported_grid(std::string problem) {
  Grid grid;
  grid.kind = GridKind::unsupported;
  grid.problem = std::move(problem);
  return grid;
}

Grid grid_of_rows(GridKind kind, std::vector<GridRow> rows, int32_t gaussian_n) {
  Grid grid;
  grid.kind = kind;
  grid.gaussian_n = gaussian_n;
  size_t first = 0;
  for (GridRow& r : rows) {
    r.first = first;
    first += static_cast<size_t>(r.points);
  }
  grid.rows = std::move(rows);
  return grid;
}

std::vector<GridRow> rows_of(const Grid& g) {
  if (g.kind != GridKind::regular_ll) return g.rows;
  std::vector<GridRow> rows(static_cast<size_t>(g.regular.nj));
  for (size_t j = 0; j < rows.size(); ++j) {
    rows[j] = {g.regular.south + static_cast<double>(j) * g.regular.dlat, g.regular.ni, g.regular.west,
               g.regular.dlon, j * static_cast<size_t>(g.regular.ni)};
  }
  return rows;
}

bool same_grid(const Grid& a, const Grid& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == GridKind::unsupported) return a.problem == b.problem;
  if (a.kind == GridKind::regular_ll) {
    const LatLonGrid &x = a.regular, &y = b.regular;
    return x.ni == y.ni && x.nj == y.nj && close(x.south, y.south) && close(x.north(), y.north()) &&
           same_meridian(x.west, y.west) && same_meridian(x.east(), y.east());
  }
  if (a.rows.size() != b.rows.size() || a.gaussian_n != b.gaussian_n) return false;
  for (size_t j = 0; j < a.rows.size(); ++j) {
    if (!same_row(a.rows[j], b.rows[j])) return false;
  }
  return true;
}

std::string describe_grid(const LatLonGrid& g) {
  const double west = western_longitude(g.west);
  return std::to_string(g.ni) + " x " + std::to_string(g.nj) + " points, " + format_number(g.dlon) + " x " +
         format_number(g.dlat) + " degrees, latitudes " + format_number(g.south) + " to " + format_number(g.north()) +
         ", longitudes " + format_number(west) + " to " + format_number(west + (g.ni - 1) * g.dlon);
}

std::string name_grid(const Grid& g) {
  if (g.kind == GridKind::unsupported) return g.problem;
  if (g.kind == GridKind::regular_ll) return "a regular latitude-longitude grid";
  std::string detail;
  if (g.is_gaussian()) detail = "N" + std::to_string(g.gaussian_n) + ", ";
  // Rounded to hundredths: enough to choose an increment by.
  detail += "about " + format_number(std::round(std::fabs(row_spacing(g)) * 100.0) / 100.0) + " degrees";
  return std::string("a ") + kind_name(g.kind) + " grid (" + detail + ")";
}

std::string describe_grid(const Grid& g) {
  if (g.kind == GridKind::unsupported) return g.problem;
  if (g.kind == GridKind::regular_ll) return describe_grid(g.regular);
  std::string s = std::string(kind_name(g.kind));
  if (g.is_gaussian()) s += " N" + std::to_string(g.gaussian_n);
  s += ", " + std::to_string(g.points()) + " points in " + std::to_string(g.rows.size()) + " rows, about " +
       format_number(std::round(std::fabs(row_spacing(g)) * 100.0) / 100.0) + " degrees";
  if (g.rows.empty()) return s;
  s += ", latitudes " + format_number(g.rows.front().lat) + " to " + format_number(g.rows.back().lat);
  if (!g.is_global_in_longitude()) {
    const GridRow& r = g.rows.front();
    const double west = western_longitude(r.west);
    s += ", longitudes " + format_number(west) + " to " + format_number(west + (r.points - 1) * r.dlon);
  }
  return s;
}

double western_longitude(double degrees) { return positive_remainder(degrees + 180.0, 360.0) - 180.0; }

double positive_remainder(double x, double m) {
  const double r = std::fmod(x, m);
  return r < 0 ? r + m : r;
}

}  // namespace i2m
