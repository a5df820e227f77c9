#include "import/netcdf_axes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>

#include "common/failure.h"
#include "common/number_text.h"
#include "import/data_time.h"
#include "import/gaussian_latitudes.h"
#include "import/netcdf_model_levels.h"
#include "import/parameters.h"

namespace i2m {
namespace {

constexpr size_t kMaxAxis = size_t{1} << 22;    // points along latitude or longitude
constexpr size_t kMaxTimes = size_t{1} << 24;
constexpr size_t kMaxLevels = size_t{1} << 16;
constexpr size_t kMaxMembers = size_t{1} << 12;

std::string where(const std::string& path, const Variable& v) { return path + ": variable " + v.name; }

std::vector<double> read_coordinate(int nc, const Variable& v, size_t limit, const std::string& path) {
  std::vector<double> values(coordinate_length(nc, v.dims[0], limit, where(path, v)));
  check(nc_get_var_double(nc, v.id, values.data()), where(path, v));
  return values;
}

std::vector<int64_t> read_times(int nc, const Variable& v, const std::string& path) {
  const std::optional<TimeUnits> units = parse_time_units(v.units);
  if (!units) {
    fail_file(where(path, v), "time unit \"" + v.units + "\" cannot be read (want \"<unit> since <date>[ <time>]\")");
  }
  const std::string calendar = text_attribute(nc, v.id, "calendar").value_or("standard");
  if (!one_of(calendar, {"standard", "gregorian", "proleptic_gregorian"})) {
    fail_file(where(path, v), "calendar \"" + calendar + "\" is not the Gregorian calendar");
  }
  std::vector<double> values(1);
  if (v.dims.empty()) {
    check(nc_get_var_double(nc, v.id, values.data()), where(path, v));
  } else {
    values = read_coordinate(nc, v, kMaxTimes, path);
  }
  std::vector<int64_t> times;
  for (double value : values) {
    if (!std::isfinite(value) || std::fabs(value) > 1e15) {
      fail_file(where(path, v), "holds a time that is no number of " + v.units);
    }
    times.push_back(units->since + std::llround(value * static_cast<double>(units->unit_seconds)));
  }
  return times;
}

bool is_latitude(const Variable& v) {
  return one_of(v.name, {"latitude", "lat"}) || v.standard_name == "latitude" ||
         one_of(v.units, {"degrees_north", "degree_north"});
}

bool is_longitude(const Variable& v) {
  return one_of(v.name, {"longitude", "lon"}) || v.standard_name == "longitude" ||
         one_of(v.units, {"degrees_east", "degree_east"});
}

bool is_pressure_level(const Variable& v) {
  const bool named = one_of(v.name, {"level", "pressure_level", "plev", "isobaricInhPa", "lev"}) ||
                     v.standard_name == "air_pressure";
  return named && (v.units == "Pa" || is_hectopascal_unit(v.units));
}

// A model-level coordinate: the longest is the model-level axis, those of
// one level are the one-level axes of the surface fields.
void take_model_levels(int nc, const Variable& v, const std::string& path, Axes& axes) {
  std::vector<double> numbers = read_coordinate(nc, v, kMaxLevels, path);
  if (numbers.size() == 1 && axes.model_level >= 0) {
    axes.single_model_levels.push_back(v.dims[0]);
    return;
  }
  if (axes.model_level >= 0) {
    if (axes.model_level_numbers.size() >= numbers.size()) return;
    if (axes.model_level_numbers.size() == 1) axes.single_model_levels.push_back(axes.model_level);
  }
  axes.model_level = v.dims[0];
  axes.model_level_variable = v;
  axes.model_level_numbers = std::move(numbers);
}

// Reads one coordinate variable into `axes`, when it is one.
void take_coordinate(int nc, const Variable& v, const std::string& path, Axes& axes) {
  const int dim = v.dims.empty() ? -1 : v.dims[0];
  if (dim >= 0 && is_model_level_coordinate(nc, v) && !is_pressure_level(v)) {
    take_model_levels(nc, v, path, axes);
  } else if (is_latitude(v) || is_longitude(v)) {
    if (dim < 0) return;
    const bool latitude = is_latitude(v);
    (latitude ? axes.lat : axes.lon) = dim;
    (latitude ? axes.lat_type : axes.lon_type) = v.type;
    (latitude ? axes.lats : axes.lons) = read_coordinate(nc, v, kMaxAxis, path);
  } else if (one_of(v.name, {"time", "valid_time"}) || v.standard_name == "time") {
    axes.time = dim;
    axes.times = read_times(nc, v, path);
  } else if (dim >= 0 && is_pressure_level(v)) {
    axes.level = dim;
    axes.levels_pa = read_coordinate(nc, v, kMaxLevels, path);
    const double to_pa = v.units == "Pa" ? 1.0 : 100.0;  // hPa, millibars, mbar
    for (double& level : axes.levels_pa) level *= to_pa;
  } else if (dim >= 0 && v.name == "expver") {
    axes.expver = dim;
    axes.expvers.resize(coordinate_length(nc, dim, 16, where(path, v)));
    check(nc_get_var_long(nc, v.id, axes.expvers.data()), where(path, v));
  } else if (dim >= 0 && (v.name == "number" || v.standard_name == "realization")) {
    axes.member = dim;
    axes.members.resize(coordinate_length(nc, dim, kMaxMembers, where(path, v)));
    check(nc_get_var_longlong(nc, v.id, axes.members.data()), where(path, v));
  }
}

// How far the steps of a coordinate may stray from their mean: the
// coordinate's own precision. A float32 coordinate of a 0.1-degree grid
// holds steps that differ by a few millionths of a degree (a few ulp of the
// largest value); a double one is held to a millionth of a degree.
double spacing_tolerance(const std::vector<double>& values, nc_type type) {
  constexpr double kDoubleSpacing = 1e-6;
  if (type != NC_FLOAT) return kDoubleSpacing;
  float largest = 0;
  for (double v : values) largest = std::max(largest, std::fabs(static_cast<float>(v)));
  const float ulp = std::nextafter(largest, std::numeric_limits<float>::infinity()) - largest;
  return std::max(kDoubleSpacing, 4.0 * static_cast<double>(ulp));
}

// A coordinate's first value and step. When the type's precision cannot
// tell them from thousandths of a degree, they are taken as those, so that
// a float32 grid meets the same grid of another file point for point.
struct AxisSteps {
  double first = 0, step = 0;
  std::string problem;  // "" when the coordinate is equally spaced
};

AxisSteps regular_steps(const std::vector<double>& values, nc_type type, const std::string& name) {
  AxisSteps a;
  if (values.size() < 2) {
    a.problem = "coordinate " + name + " holds " + std::to_string(values.size()) + " point(s); a grid needs at least 2";
    return a;
  }
  const double spans = static_cast<double>(values.size() - 1);
  a.first = values.front();
  a.step = (values.back() - values.front()) / spans;
  const double tolerance = spacing_tolerance(values, type);
  for (size_t i = 1; i < values.size(); ++i) {
    if (!(std::fabs(values[i] - values[i - 1] - a.step) <= tolerance) || a.step == 0) {
      a.problem = "coordinate " + name + " is not equally spaced (between points " + std::to_string(i) + " and " +
                  std::to_string(i + 1) + "): only regular latitude-longitude grids can be imported";
      return a;
    }
  }
  const double first = std::round(a.first * 1000.0) / 1000.0, step = std::round(a.step * 1000.0) / 1000.0;
  if (type == NC_FLOAT && std::fabs(first - a.first) <= tolerance && std::fabs(step - a.step) * spans <= tolerance) {
    a.first = first;
    a.step = step;
  }
  return a;
}

}  // namespace

Axes find_axes(int nc, const std::vector<Variable>& variables, const std::string& path) {
  Axes axes;
  for (const Variable& v : variables) {
    if (v.dims.size() <= 1 && is_number_type(v.type)) take_coordinate(nc, v, path, axes);
    if (v.dims.size() == 2 && (is_latitude(v) || is_longitude(v))) axes.two_dimensional = true;
  }
  // ERA5's ensemble files name the member dimension "number"; without a
  // coordinate variable its members are counted from 0.
  int dim = -1;
  if (axes.member < 0 && nc_inq_dimid(nc, "number", &dim) == NC_NOERR) {
    axes.member = dim;
    axes.members.resize(coordinate_length(nc, dim, kMaxMembers, path + ": dimension number"));
    std::iota(axes.members.begin(), axes.members.end(), 0);
  }
  return axes;
}

// The N whose Gaussian latitudes the coordinate holds, one after the other
// (all of them, or a part), within the coordinate's precision; 0 for none.
int gaussian_n_of(const std::vector<double>& lats, nc_type type) {
  if (lats.size() < 2) return 0;
  const double tolerance = spacing_tolerance(lats, type);
  const double spacing = std::fabs(lats.back() - lats.front()) / static_cast<double>(lats.size() - 1);
  const auto estimate = static_cast<int>(std::lround(90.0 / spacing));
  std::vector<int> candidates = {static_cast<int>(lats.size() / 2)};
  for (int n = std::max(1, estimate - 3); n <= estimate + 3; ++n) candidates.push_back(n);
  for (int n : candidates) {
    const std::vector<double> gaussian = gaussian_latitudes(n);
    if (gaussian.empty()) continue;
    // Where the coordinate's first latitude falls, then each next one in turn.
    const auto first = std::min_element(gaussian.begin(), gaussian.end(), [&](double a, double b) {
      return std::fabs(a - lats.front()) < std::fabs(b - lats.front());
    });
    const ptrdiff_t step = lats.back() < lats.front() ? 1 : -1;  // the table runs north to south
    bool all = true;
    for (size_t i = 0; i < lats.size() && all; ++i) {
      const ptrdiff_t at = (first - gaussian.begin()) + step * static_cast<ptrdiff_t>(i);
      all = at >= 0 && at < static_cast<ptrdiff_t>(gaussian.size()) &&
            std::fabs(gaussian[static_cast<size_t>(at)] - lats[i]) <= tolerance;
    }
    if (all) return n;
  }
  return 0;
}

// A regular Gaussian grid: the latitudes are those of N, the longitudes
// equally spaced.
AxesGrid gaussian_grid(const Axes& axes, int n, const AxisSteps& lon) {
  AxesGrid g;
  g.north_first = axes.lats.front() > axes.lats.back();
  g.east_first = lon.step < 0;
  const std::vector<double> gaussian = gaussian_latitudes(n);
  std::vector<GridRow> rows;
  for (double lat : axes.lats) {
    GridRow r;
    r.lat = *std::min_element(gaussian.begin(), gaussian.end(),
                              [&](double a, double b) { return std::fabs(a - lat) < std::fabs(b - lat); });
    r.points = static_cast<int32_t>(axes.lons.size());
    r.dlon = std::fabs(lon.step);
    r.west = g.east_first ? lon.first + (r.points - 1) * lon.step : lon.first;
    rows.push_back(r);
  }
  if (g.north_first) std::reverse(rows.begin(), rows.end());
  g.grid = grid_of_rows(GridKind::regular_gg, std::move(rows), n);
  return g;
}

AxesGrid grid_of(const Axes& axes, const std::string& path) {
  if (axes.lat < 0 && axes.two_dimensional) {
    fail_file(path, "latitude and longitude of two dimensions (a rotated or curvilinear grid): only "
                    "latitude-longitude and Gaussian grids can be imported");
  }
  if (axes.lat < 0) fail_file(path, "no latitude coordinate");
  if (axes.lon < 0) fail_file(path, "no longitude coordinate");
  AxesGrid g;
  const AxisSteps lat = regular_steps(axes.lats, axes.lat_type, "latitude");
  const AxisSteps lon = regular_steps(axes.lons, axes.lon_type, "longitude");
  if (!lat.problem.empty() && lon.problem.empty()) {
    if (const int n = gaussian_n_of(axes.lats, axes.lat_type); n > 0) return gaussian_grid(axes, n, lon);
  }
  if (!lat.problem.empty() || !lon.problem.empty()) {
    g.grid = unsupported_grid(lat.problem.empty() ? lon.problem : lat.problem);
    return g;
  }
  g.north_first = lat.step < 0;
  g.east_first = lon.step < 0;
  LatLonGrid r;
  r.ni = static_cast<int32_t>(axes.lons.size());
  r.nj = static_cast<int32_t>(axes.lats.size());
  r.dlat = std::fabs(lat.step);
  r.dlon = std::fabs(lon.step);
  const double lat_last = lat.first + (r.nj - 1) * lat.step;
  const double lon_last = lon.first + (r.ni - 1) * lon.step;
  r.south = std::min(lat.first, lat_last);
  r.west = g.east_first ? lon_last : lon.first;
  g.grid = regular_grid(r);
  return g;
}

}  // namespace i2m
