#include "import/grib_grid.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "import/gaussian_latitudes.h"

namespace i2m {
namespace {

// Points of one row share their latitude to within this; GRIB1 states
// latitudes in thousandths of a degree.
constexpr double kSameLatitude = 1e-6;
// The longitudes of a row may stray this far from equal spacing: GRIB1
// rounds them to thousandths of a degree.
constexpr double kRowSpacingTolerance = 0.0015;

GribGrid unsupported(std::string reason) { return {std::make_shared<const Grid>(unsupported_grid(std::move(reason))), false, false}; }

// The south-west corner and the steps, from the corners in scanning order;
// "" or why the corners describe no grid the importer can take.
std::string read_corners(const Keys& keys, const GribGrid& order, LatLonGrid& g) {
  const double lat_first = keys.get_double("latitudeOfFirstGridPointInDegrees");
  const double lat_last = keys.get_double("latitudeOfLastGridPointInDegrees");
  const double lon_first = keys.get_double("longitudeOfFirstGridPointInDegrees");
  const double lon_last = keys.get_double("longitudeOfLastGridPointInDegrees");
  g.south = order.south_first ? lat_first : lat_last;
  const double north = order.south_first ? lat_last : lat_first;
  if (!(north > g.south)) return "its latitudes do not run in its scanning direction";
  g.west = order.east_first ? lon_last : lon_first;
  double span = (order.east_first ? lon_first : lon_last) - g.west;
  if (span <= 0) span += 360.0;
  g.dlat = (north - g.south) / (g.nj - 1);
  g.dlon = span / (g.ni - 1);
  // The corners give the steps more precisely than the stated increments
  // (GRIB1 states them in thousandths of a degree); a stated step that
  // disagrees with the corners means the grid is not what it says.
  const double stated[] = {keys.get_double("iDirectionIncrementInDegrees"), keys.get_double("jDirectionIncrementInDegrees")};
  const double derived[] = {g.dlon, g.dlat};
  for (int d = 0; d < 2; ++d) {
    if (stated[d] > 0 && stated[d] < 360 && std::fabs(stated[d] - derived[d]) > 0.0005) {
      return "its corners and its increment disagree: the points are not equally spaced";
    }
  }
  return "";
}

GribGrid read_regular_ll(const Keys& keys) {
  if (keys.get_long("jPointsAreConsecutive") != 0) return unsupported("columns stored before rows cannot be imported");
  LatLonGrid g;
  g.ni = static_cast<int32_t>(keys.get_long("Ni"));
  g.nj = static_cast<int32_t>(keys.get_long("Nj"));
  if (g.ni < 2 || g.nj < 2) {
    return unsupported("a grid of " + std::to_string(g.ni) + " x " + std::to_string(g.nj) + " points (at least 2 x 2 are needed)");
  }
  GribGrid result;
  result.south_first = keys.get_long("jScansPositively") != 0;
  result.east_first = keys.get_long("iScansNegatively") != 0;
  if (const std::string problem = read_corners(keys, result, g); !problem.empty()) return unsupported(problem);
  const long points = keys.get_long("numberOfDataPoints");
  if (static_cast<size_t>(points) != g.points()) {
    return unsupported("holds " + std::to_string(points) + " points for a grid of " + std::to_string(g.ni) + " x " +
                       std::to_string(g.nj));
  }
  result.grid = std::make_shared<const Grid>(regular_grid(g));
  return result;
}

// The Gaussian latitude of N nearest to `lat`: GRIB1 rounds them to
// thousandths of a degree, GRIB2 to millionths.
double snap_to_gaussian(double lat, const std::vector<double>& gaussian) {
  const auto nearest = std::min_element(gaussian.begin(), gaussian.end(),
                                        [lat](double a, double b) { return std::fabs(a - lat) < std::fabs(b - lat); });
  return *nearest;
}

// A row from its points' longitudes in stored order; "" or why not.
std::string make_row(const double* lons, size_t n, double lat, bool& east_first, GridRow& row) {
  row.lat = lat;
  row.points = static_cast<int32_t>(n);
  if (n == 1) {
    row.west = lons[0];
    return "";
  }
  // The stored order runs east to west when the first step is negative
  // (taken round the circle).
  const double first_step = positive_remainder(lons[1] - lons[0] + 180.0, 360.0) - 180.0;
  east_first = first_step < 0;
  const double west = east_first ? lons[n - 1] : lons[0];
  const double last = east_first ? lons[0] : lons[n - 1];
  double span = positive_remainder(last - west, 360.0);
  row.west = west;
  row.dlon = span / static_cast<double>(n - 1);
  // A row round the whole circle ends one step short of its start.
  if (std::fabs(span + row.dlon - 360.0) > 1e-9 && span < 1e-9) row.dlon = 360.0 / static_cast<double>(n);
  for (size_t k = 0; k < n; ++k) {
    const double lon = lons[east_first ? n - 1 - k : k];
    const double offset = positive_remainder(lon - west + 1e-9, 360.0) - 1e-9;
    if (std::fabs(offset - static_cast<double>(k) * row.dlon) > kRowSpacingTolerance) {
      return "the points of its row at latitude " + std::to_string(lat) + " are not equally spaced";
    }
  }
  return "";
}

// Groups the located points into rows by latitude, in stored order, then
// turns them south to north.
GribGrid rows_from_points(const std::vector<double>& lats, const std::vector<double>& lons, GridKind kind,
                          int32_t gaussian_n) {
  const std::vector<double> gaussian = gaussian_n > 0 ? gaussian_latitudes(gaussian_n) : std::vector<double>{};
  if (gaussian_n > 0 && gaussian.empty()) {
    return unsupported("a Gaussian grid of N" + std::to_string(gaussian_n) + " whose latitudes ecCodes cannot compute");
  }
  std::vector<GridRow> rows;
  bool east_first = false, first_row = true;
  for (size_t start = 0; start < lats.size();) {
    size_t end = start + 1;
    while (end < lats.size() && std::fabs(lats[end] - lats[start]) <= kSameLatitude) ++end;
    const double lat = gaussian.empty() ? lats[start] : snap_to_gaussian(lats[start], gaussian);
    GridRow row;
    bool row_east_first = false;
    if (std::string problem = make_row(&lons[start], end - start, lat, row_east_first, row); !problem.empty()) {
      return unsupported(problem);
    }
    if (!first_row && end - start > 1 && row_east_first != east_first) return unsupported("its rows run in different directions");
    if (end - start > 1) {
      east_first = row_east_first;
      first_row = false;
    }
    rows.push_back(row);
    start = end;
  }
  if (rows.size() < 2) return unsupported("a grid of " + std::to_string(rows.size()) + " row (at least 2 are needed)");
  const bool south_first = rows.back().lat > rows.front().lat;
  if (!south_first) std::reverse(rows.begin(), rows.end());
  for (size_t j = 1; j < rows.size(); ++j) {
    if (!(rows[j].lat > rows[j - 1].lat)) return unsupported("its rows are not in order of latitude");
  }
  return {std::make_shared<const Grid>(grid_of_rows(kind, std::move(rows), gaussian_n)), south_first, east_first};
}

GribGrid read_rows(const Keys& keys, GridKind kind) {
  if (keys.get_long("jPointsAreConsecutive") != 0) return unsupported("columns stored before rows cannot be imported");
  const auto n = static_cast<size_t>(keys.get_long("numberOfDataPoints"));
  std::vector<double> lats(n), lons(n), values(n);
  // The iterator places every point as ecCodes understands the grid: the
  // same positions ecCodes' own tools give.
  if (const int error = codes_grib_get_data(keys.handle(), lats.data(), lons.data(), values.data()); error != 0) {
    return unsupported("ecCodes cannot locate its points (" + std::string(codes_get_error_message(error)) + ")");
  }
  const int32_t gaussian_n = kind == GridKind::reduced_ll ? 0 : static_cast<int32_t>(keys.get_long("N"));
  return rows_from_points(lats, lons, kind, gaussian_n);
}

}  // namespace

bool grid_needs_points(const std::string& grid_type) {
  return grid_type == "regular_gg" || grid_type == "reduced_gg" || grid_type == "reduced_ll";
}

std::string unsupported_grid_type(const std::string& type) {
  return "grid type " + type + ": only latitude-longitude and Gaussian grids can be imported";
}

GribGrid read_grib_grid(const Keys& keys) {
  const std::string type = grid_type_of(keys);
  if (type == "regular_ll") return read_regular_ll(keys);
  if (type == "regular_gg") return read_rows(keys, GridKind::regular_gg);
  if (type == "reduced_gg") return read_rows(keys, GridKind::reduced_gg);
  if (type == "reduced_ll") return read_rows(keys, GridKind::reduced_ll);
  if (type == "sh") {
    return unsupported("a spectral field (spherical harmonics), not values on a grid: ask the archive for a grid "
                       "(grid=0.25/0.25 in a MARS or Data Store request) or transform it to a grid first (cdo sp2gp)");
  }
  return unsupported(unsupported_grid_type(type));
}

}  // namespace i2m
