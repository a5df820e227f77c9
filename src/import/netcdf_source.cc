#include "import/netcdf_source.h"

#include <netcdf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <numeric>
#include <optional>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "import/convert_values.h"
#include "import/data_time.h"
#include "import/library_guard.h"

namespace i2m {
namespace {

constexpr double kGravity = 9.80665;        // m s-2: geopotential to geopotential height
constexpr size_t kNone = static_cast<size_t>(-1);

// netCDF-C, and the HDF5 library beneath it, keep state of their own that
// no two threads may touch at once: all NetCDF sources share this lock.
std::mutex netcdf_lock;

void check(int status, const std::string& where) {
  if (status == NC_ENOMEM) fail_storage(where);  // the file is not to blame
  if (status != NC_NOERR) fail_file(where, std::string("netCDF-C cannot read it: ") + nc_strerror(status));
}

// The length of a coordinate's dimension, refused beyond what any grid,
// list of times or of levels the importer writes can hold (a damaged
// header may claim billions, which are not to be allocated).
size_t coordinate_length(int nc, int dim, size_t limit, const std::string& where) {
  size_t length = 0;
  check(nc_inq_dimlen(nc, dim, &length), where);
  if (length > limit) fail_file(where, "has " + std::to_string(length) + " values, more than " + std::to_string(limit));
  return length;
}

constexpr size_t kMaxAxis = size_t{1} << 22;    // points along latitude or longitude
constexpr size_t kMaxTimes = size_t{1} << 24;
constexpr size_t kMaxLevels = size_t{1} << 16;
constexpr size_t kMaxMembers = size_t{1} << 12;

std::optional<std::string> text_attribute(int nc, int var, const char* name) {
  nc_type type = NC_NAT;
  size_t length = 0;
  if (nc_inq_att(nc, var, name, &type, &length) != NC_NOERR) return std::nullopt;
  if (type == NC_CHAR) {
    std::string text(length, '\0');
    if (nc_get_att_text(nc, var, name, text.data()) != NC_NOERR) return std::nullopt;
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    return text;
  }
  if (type == NC_STRING && length == 1) {
    char* value = nullptr;
    if (nc_get_att_string(nc, var, name, &value) != NC_NOERR) return std::nullopt;
    std::string text = value != nullptr ? value : "";
    nc_free_string(1, &value);
    return text;
  }
  return std::nullopt;
}

std::optional<double> number_attribute(int nc, int var, const char* name) {
  nc_type type = NC_NAT;
  size_t length = 0;
  if (nc_inq_att(nc, var, name, &type, &length) != NC_NOERR || length == 0 || type == NC_CHAR ||
      type == NC_STRING) {
    return std::nullopt;
  }
  std::vector<double> values(length);
  if (nc_get_att_double(nc, var, name, values.data()) != NC_NOERR) return std::nullopt;
  return values.front();
}

// What netCDF-C writes where no value was written, when a variable states
// no _FillValue of its own (CF counts those points missing).
double default_fill(nc_type type) {
  switch (type) {
    case NC_BYTE: return NC_FILL_BYTE;
    case NC_UBYTE: return NC_FILL_UBYTE;
    case NC_SHORT: return NC_FILL_SHORT;
    case NC_USHORT: return NC_FILL_USHORT;
    case NC_INT: return NC_FILL_INT;
    case NC_UINT: return NC_FILL_UINT;
    case NC_FLOAT: return static_cast<double>(NC_FILL_FLOAT);
    default: return NC_FILL_DOUBLE;
  }
}

bool is_number_type(nc_type type) { return type >= NC_BYTE && type <= NC_UINT64 && type != NC_CHAR; }

bool one_of(const std::string& s, std::initializer_list<const char*> options) {
  return std::any_of(options.begin(), options.end(), [&](const char* o) { return s == o; });
}

// One variable of the file as netCDF-C describes it.
struct Variable {
  int id = 0;
  std::string name;
  nc_type type = NC_NAT;
  std::vector<int> dims;
  std::string standard_name;
  std::string units;
};

// Which dimension is which, and the coordinates along them.
struct Axes {
  int lat = -1, lon = -1, time = -1, level = -1, expver = -1, member = -1;
  nc_type lat_type = NC_DOUBLE, lon_type = NC_DOUBLE;  // the precision the coordinates were stored in
  std::vector<double> lats, lons;
  std::vector<int64_t> times;      // seconds since 1970, per time index
  std::vector<double> levels_pa;   // per level index
  std::vector<long> expvers;
  std::vector<long long> members;  // ensemble member numbers, per member index
};

// What a recognised variable is to the importer.
struct Recognised {
  Quantity quantity = Quantity::height;
  int preference = 0;
  double divisor = 1;
  double top = 0, bottom = 0;  // soil layers, m
};

// ERA5's soil variables and the depths of their layers in m.
struct Era5Layer {
  const char* name;
  Quantity quantity;
  double top, bottom;
};
constexpr Era5Layer kEra5Layers[] = {
    {"stl1", Quantity::soil_temperature, 0.0, 0.07}, {"stl2", Quantity::soil_temperature, 0.07, 0.28},
    {"stl3", Quantity::soil_temperature, 0.28, 1.0}, {"stl4", Quantity::soil_temperature, 1.0, 2.89},
    {"swvl1", Quantity::soil_moisture, 0.0, 0.07},   {"swvl2", Quantity::soil_moisture, 0.07, 0.28},
    {"swvl3", Quantity::soil_moisture, 0.28, 1.0},   {"swvl4", Quantity::soil_moisture, 1.0, 2.89},
};

// How a field is found again: the variable and its indices along time,
// level and expver (kNone where the variable has no such dimension).
struct Location {
  size_t variable = 0;
  size_t time = 0, level = kNone, expver = kNone, member = kNone;
};

class NetcdfSource : public Source {
 public:
  NetcdfSource(const std::string& path, int index) : Source(path), index_(index) {}
  ~NetcdfSource() override {
    if (nc_ >= 0) nc_close(nc_);
  }
  NetcdfSource(const NetcdfSource&) = delete;
  NetcdfSource& operator=(const NetcdfSource&) = delete;

  void take_inventory();
  size_t read(const FieldInfo& field, float* values) const override;

 private:
  std::string where(const Variable& v) const { return path_ + ": variable " + v.name; }
  Variable describe(int id) const;
  void find_axes(const std::vector<Variable>& variables);
  void read_grid();
  std::vector<int64_t> read_times(const Variable& v) const;
  std::vector<double> read_levels(const Variable& v) const;
  std::optional<Recognised> recognise(const Variable& v, bool has_level) const;
  void check_dimensions(const Variable& v, bool has_level) const;
  void add_variable(const Variable& v, const Recognised& r);
  size_t expver_with_data(size_t variable, size_t time) const;
  void read_slab(const Location& at, const std::string& place, std::vector<double>& values) const;
  std::string dimension_list(const Variable& v) const;

  int index_;
  int nc_ = -1;
  Axes axes_;
  LatLonGrid grid_;
  bool north_first_ = false, east_first_ = false;
  std::vector<Variable> variables_;   // the recognised ones, by Location::variable
  std::vector<Recognised> recognised_;
  std::vector<double> scale_, offset_, fill_;
  std::vector<std::optional<double>> missing_;
  std::vector<Location> locations_;
};

Variable NetcdfSource::describe(int id) const {
  char name[NC_MAX_NAME + 1] = {};
  int ndims = 0;
  Variable v;
  v.id = id;
  check(nc_inq_var(nc_, id, name, &v.type, &ndims, nullptr, nullptr), path_);
  v.name = name;
  v.dims.resize(static_cast<size_t>(ndims));
  check(nc_inq_vardimid(nc_, id, v.dims.data()), where(v));
  v.standard_name = text_attribute(nc_, id, "standard_name").value_or("");
  v.units = text_attribute(nc_, id, "units").value_or("");
  return v;
}

std::string NetcdfSource::dimension_list(const Variable& v) const {
  std::string list;
  for (int d : v.dims) {
    char name[NC_MAX_NAME + 1] = {};
    nc_inq_dimname(nc_, d, name);
    list += (list.empty() ? "" : ", ") + std::string(name);
  }
  return "(" + list + ")";
}

std::vector<int64_t> NetcdfSource::read_times(const Variable& v) const {
  const std::optional<TimeUnits> units = parse_time_units(v.units);
  if (!units) fail_file(where(v), "time unit \"" + v.units + "\" cannot be read (want \"<unit> since <date>[ <time>]\")");
  const std::string calendar = text_attribute(nc_, v.id, "calendar").value_or("standard");
  if (!one_of(calendar, {"standard", "gregorian", "proleptic_gregorian"})) {
    fail_file(where(v), "calendar \"" + calendar + "\" is not the Gregorian calendar");
  }
  const size_t n = v.dims.empty() ? 1 : coordinate_length(nc_, v.dims[0], kMaxTimes, where(v));
  std::vector<double> values(n);
  check(nc_get_var_double(nc_, v.id, values.data()), where(v));
  std::vector<int64_t> times;
  for (double value : values) {
    if (!std::isfinite(value) || std::fabs(value) > 1e15) fail_file(where(v), "holds a time that is no number of " + v.units);
    times.push_back(units->since + std::llround(value * static_cast<double>(units->unit_seconds)));
  }
  return times;
}

std::vector<double> NetcdfSource::read_levels(const Variable& v) const {
  std::vector<double> levels(coordinate_length(nc_, v.dims[0], kMaxLevels, where(v)));
  check(nc_get_var_double(nc_, v.id, levels.data()), where(v));
  const double to_pa = v.units == "Pa" ? 1.0 : 100.0;  // hPa, millibars, mbar
  for (double& level : levels) level *= to_pa;
  return levels;
}

// Coordinate variables: one dimension each, told by name, standard_name or units.
void NetcdfSource::find_axes(const std::vector<Variable>& variables) {
  for (const Variable& v : variables) {
    if (v.dims.size() > 1 || !is_number_type(v.type)) continue;
    const std::string& n = v.name;
    const std::string& s = v.standard_name;
    const int dim = v.dims.empty() ? -1 : v.dims[0];
    if (one_of(n, {"latitude", "lat"}) || s == "latitude" || one_of(v.units, {"degrees_north", "degree_north"})) {
      if (dim < 0) continue;
      axes_.lat = dim;
      axes_.lat_type = v.type;
      axes_.lats.resize(coordinate_length(nc_, dim, kMaxAxis, where(v)));
      check(nc_get_var_double(nc_, v.id, axes_.lats.data()), where(v));
    } else if (one_of(n, {"longitude", "lon"}) || s == "longitude" || one_of(v.units, {"degrees_east", "degree_east"})) {
      if (dim < 0) continue;
      axes_.lon = dim;
      axes_.lon_type = v.type;
      axes_.lons.resize(coordinate_length(nc_, dim, kMaxAxis, where(v)));
      check(nc_get_var_double(nc_, v.id, axes_.lons.data()), where(v));
    } else if (one_of(n, {"time", "valid_time"}) || s == "time") {
      axes_.time = dim;
      axes_.times = read_times(v);
    } else if (dim >= 0 && (one_of(n, {"level", "pressure_level", "plev", "isobaricInhPa", "lev"}) || s == "air_pressure") &&
               one_of(v.units, {"hPa", "millibars", "millibar", "mbar", "mb", "Pa"})) {
      axes_.level = dim;
      axes_.levels_pa = read_levels(v);
    } else if (dim >= 0 && n == "expver") {
      axes_.expver = dim;
      axes_.expvers.resize(coordinate_length(nc_, dim, 16, where(v)));
      check(nc_get_var_long(nc_, v.id, axes_.expvers.data()), where(v));
    } else if (dim >= 0 && (n == "number" || s == "realization")) {
      axes_.member = dim;
      axes_.members.resize(coordinate_length(nc_, dim, kMaxMembers, where(v)));
      check(nc_get_var_longlong(nc_, v.id, axes_.members.data()), where(v));
    }
  }
  // ERA5's ensemble files name the member dimension "number"; without a
  // coordinate variable its members are counted from 0.
  int dim = -1;
  if (axes_.member < 0 && nc_inq_dimid(nc_, "number", &dim) == NC_NOERR) {
    axes_.member = dim;
    axes_.members.resize(coordinate_length(nc_, dim, kMaxMembers, path_ + ": dimension number"));
    std::iota(axes_.members.begin(), axes_.members.end(), 0);
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

void NetcdfSource::read_grid() {
  if (axes_.lat < 0) fail_file(path_, "no latitude coordinate");
  if (axes_.lon < 0) fail_file(path_, "no longitude coordinate");
  const AxisSteps lat = regular_steps(axes_.lats, axes_.lat_type, "latitude");
  const AxisSteps lon = regular_steps(axes_.lons, axes_.lon_type, "longitude");
  if (!lat.problem.empty() || !lon.problem.empty()) {
    grid_.problem = lat.problem.empty() ? lon.problem : lat.problem;
    note_grid(describe_grid(grid_));
    return;
  }
  north_first_ = lat.step < 0;
  east_first_ = lon.step < 0;
  grid_.ni = static_cast<int32_t>(axes_.lons.size());
  grid_.nj = static_cast<int32_t>(axes_.lats.size());
  grid_.dlat = std::fabs(lat.step);
  grid_.dlon = std::fabs(lon.step);
  const double lat_last = lat.first + (grid_.nj - 1) * lat.step;
  const double lon_last = lon.first + (grid_.ni - 1) * lon.step;
  grid_.south = std::min(lat.first, lat_last);
  grid_.west = east_first_ ? lon_last : lon.first;
  note_grid(describe_grid(grid_));
}

// The factor a variable's units divide by to reach the system's, or
// nullopt for units of no known kind.
std::optional<double> divisor_for(Quantity q, const std::string& units, bool geopotential_by_name) {
  const bool geopotential_units =
      one_of(units, {"m**2 s**-2", "m2 s-2", "m^2 s^-2", "m2/s2", "m**2/s**2", "m^2/s^2", "m+2 s-2"});
  switch (q) {
    case Quantity::height:
    case Quantity::topography:
      if (geopotential_units) return kGravity;
      if (units == "m" || units == "gpm") return 1.0;
      if (units.empty()) return geopotential_by_name ? kGravity : 1.0;
      return std::nullopt;
    case Quantity::mean_sea_level_pressure:
    case Quantity::surface_pressure:
      if (units == "Pa") return 100.0;
      if (one_of(units, {"hPa", "millibars", "millibar", "mbar", "mb"})) return 1.0;
      return std::nullopt;
    case Quantity::relative_humidity:
      if (units == "%" || units == "percent") return 1.0;
      if (units == "1" || units.empty()) return 0.01;  // a fraction: percent is 100 times it
      return std::nullopt;
    case Quantity::temperature:
    case Quantity::soil_temperature:
      if (units == "K" || units.empty()) return 1.0;
      return std::nullopt;
    default:
      return 1.0;  // winds, specific humidity, mask and soil moisture have one unit each
  }
}

// ERA5's short names first, then CF standard names.
std::optional<Recognised> NetcdfSource::recognise(const Variable& v, bool has_level) const {
  const std::string& n = v.name;
  const std::string& s = v.standard_name;
  Recognised r;
  bool geopotential = false;
  if (has_level) {
    if (n == "z" || s == "geopotential") {
      r.quantity = Quantity::height;
      r.preference = 1;
      geopotential = true;
    } else if (n == "gh" || s == "geopotential_height") {
      r.quantity = Quantity::height;
    } else if (n == "r" || s == "relative_humidity") {
      r.quantity = Quantity::relative_humidity;
    } else if (n == "q" || s == "specific_humidity") {
      r.quantity = Quantity::specific_humidity;
    } else if (n == "t" || s == "air_temperature") {
      r.quantity = Quantity::temperature;
    } else if (n == "u" || s == "eastward_wind") {
      r.quantity = Quantity::zonal_wind;
    } else if (n == "v" || s == "northward_wind") {
      r.quantity = Quantity::meridional_wind;
    } else {
      return std::nullopt;
    }
  } else if (n == "lsm" || s == "land_binary_mask" || s == "land_area_fraction") {
    r.quantity = Quantity::land_sea_mask;
  } else if (n == "msl" || s == "air_pressure_at_mean_sea_level" || s == "air_pressure_at_sea_level") {
    r.quantity = Quantity::mean_sea_level_pressure;
  } else if (n == "prmsl") {
    // GFS's reduction to sea level, as GRIB names it; ERA5's msl is preferred.
    r.quantity = Quantity::mean_sea_level_pressure;
    r.preference = 1;
  } else if (n == "sp" || s == "surface_air_pressure") {
    r.quantity = Quantity::surface_pressure;
  } else if (n == "z" || s == "surface_geopotential" || s == "geopotential") {
    // The surface geopotential is the z without a pressure dimension.
    r.quantity = Quantity::topography;
    r.preference = 1;
    geopotential = true;
  } else if (n == "orog" || s == "surface_altitude") {
    r.quantity = Quantity::topography;
  } else if (n == "gh" || n == "hgt") {
    // A geopotential height without a pressure level is the surface's.
    r.quantity = Quantity::topography;
    r.preference = 2;
  } else {
    const Era5Layer* layer = nullptr;
    for (const Era5Layer& l : kEra5Layers) {
      if (n == l.name) layer = &l;
    }
    if (layer == nullptr) return std::nullopt;
    r.quantity = layer->quantity;
    r.top = layer->top;
    r.bottom = layer->bottom;
  }
  const std::optional<double> divisor = divisor_for(r.quantity, v.units, geopotential);
  if (!divisor) {
    fail_file(where(v), "units \"" + v.units + "\" are not understood for " + std::string(quantity_name(r.quantity)));
  }
  r.divisor = *divisor;
  return r;
}

bool has_dimension(const Variable& v, int dim) {
  return dim >= 0 && std::find(v.dims.begin(), v.dims.end(), dim) != v.dims.end();
}

// A field of the file: latitude and longitude among its dimensions, in any
// order and place.
bool is_gridded(const Variable& v, const Axes& axes) {
  return is_number_type(v.type) && has_dimension(v, axes.lat) && has_dimension(v, axes.lon);
}

// Beside latitude and longitude, in any order: time, pressure level,
// expver, ensemble member, or a dimension of length 1.
void NetcdfSource::check_dimensions(const Variable& v, bool has_level) const {
  bool understood = true;
  for (const int dim : v.dims) {
    size_t length = 0;
    nc_inq_dimlen(nc_, dim, &length);
    understood = understood && (dim == axes_.lat || dim == axes_.lon || dim == axes_.time ||
                                (dim == axes_.level && has_level) || dim == axes_.expver || dim == axes_.member ||
                                length == 1);
  }
  if (!understood) {
    fail_file(where(v), "its dimensions " + dimension_list(v) +
                            " are not understood (beside latitude and longitude, in any order, only time, "
                            "pressure level, expver and ensemble member)");
  }
  if (!has_dimension(v, axes_.time) && axes_.times.size() != 1) {
    fail_file(where(v), "has no time dimension, and the file no single time");
  }
}

void NetcdfSource::add_variable(const Variable& v, const Recognised& r) {
  const size_t index = variables_.size();
  variables_.push_back(v);
  recognised_.push_back(r);
  scale_.push_back(number_attribute(nc_, v.id, "scale_factor").value_or(1.0));
  offset_.push_back(number_attribute(nc_, v.id, "add_offset").value_or(0.0));
  fill_.push_back(number_attribute(nc_, v.id, "_FillValue").value_or(default_fill(v.type)));
  missing_.push_back(number_attribute(nc_, v.id, "missing_value"));

  const bool has_level = has_dimension(v, axes_.level);
  const bool has_member = has_dimension(v, axes_.member);
  const size_t times = has_dimension(v, axes_.time) ? axes_.times.size() : 1;
  const size_t levels = has_level ? axes_.levels_pa.size() : 1;
  const size_t members = has_member ? axes_.members.size() : 1;
  for (size_t t = 0; t < times; ++t) {
    Location at{index, t, kNone, kNone, kNone};
    if (has_dimension(v, axes_.expver)) at.expver = expver_with_data(index, t);
    for (size_t m = 0; m < members; ++m) {
      at.member = has_member ? m : kNone;
      for (size_t k = 0; k < levels; ++k) {
        at.level = has_level ? k : kNone;
        FieldInfo info;
        info.valid_time = axes_.times[t];
        info.quantity = r.quantity;
        info.preference = r.preference;
        info.level = has_level ? axes_.levels_pa[k] : r.top;
        info.layer_bottom = r.bottom;
        info.grid = grid_;
        info.name = v.name;
        info.units = v.units;
        info.member = has_member ? axes_.members[m] : kNoMember;
        info.place = where(v) + " at " + format_data_time(info.valid_time) +
                     (has_level ? ", " + format_number(axes_.levels_pa[k] / 100.0) + " hPa" : "") +
                     (has_member ? ", member " + std::to_string(axes_.members[m]) : "");
        info.source = index_;
        info.locator = locations_.size();
        locations_.push_back(at);
        fields_.push_back(info);
      }
    }
  }
}

// Where ERA5 and ERA5T meet, each time holds data in one expver slice only,
// the other filled; the slice that holds data is the field.
size_t NetcdfSource::expver_with_data(size_t variable, size_t time) const {
  const bool has_level = has_dimension(variables_[variable], axes_.level);
  std::vector<double> values;
  size_t found = kNone;
  for (size_t e = 0; e < axes_.expvers.size(); ++e) {
    read_slab(Location{variable, time, has_level ? 0 : kNone, e, has_dimension(variables_[variable], axes_.member) ? 0 : kNone},
              where(variables_[variable]), values);
    if (std::all_of(values.begin(), values.end(), [](double x) { return std::isnan(x); })) continue;
    if (found != kNone) {
      fail_file(where(variables_[variable]), "expver " + std::to_string(axes_.expvers[found]) + " and expver " +
                                                 std::to_string(axes_.expvers[e]) + " both hold data at " +
                                                 format_data_time(axes_.times[time]));
    }
    found = e;
  }
  return found == kNone ? 0 : found;
}

// Turns `rows` rows of `columns` values into `columns` rows of `rows`.
void transpose(std::vector<double>& values, size_t rows, size_t columns) {
  thread_local std::vector<double> turned;  // kept per thread and reused
  turned.resize(values.size());
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < columns; ++c) turned[c * rows + r] = values[r * columns + c];
  }
  values.swap(turned);
}

// One horizontal slab as doubles in the file's units and order, missing
// points (fill values, missing values, NaN) as NaN. Only the call into
// netCDF-C holds the library's lock: the unpacking, and the conversion
// that follows in read(), run on every thread at once.
void NetcdfSource::read_slab(const Location& at, const std::string& place, std::vector<double>& values) const {
  const Variable& v = variables_[at.variable];
  std::vector<size_t> start(v.dims.size(), 0), count(v.dims.size(), 1);
  for (size_t d = 0; d < v.dims.size(); ++d) {
    const int dim = v.dims[d];
    if (dim == axes_.lat) count[d] = axes_.lats.size();
    if (dim == axes_.lon) count[d] = axes_.lons.size();
    if (dim == axes_.time) start[d] = at.time;
    if (dim == axes_.level && at.level != kNone) start[d] = at.level;
    if (dim == axes_.expver && at.expver != kNone) start[d] = at.expver;
    if (dim == axes_.member && at.member != kNone) start[d] = at.member;
  }
  const size_t nlat = axes_.lats.size(), nlon = axes_.lons.size();
  values.resize(nlat * nlon);
  {
    const std::lock_guard<std::mutex> hold(netcdf_lock);
    const LibraryAtWork in_hand(place);  // after the lock: waiting for it is no hang
    check(nc_get_vara_double(nc_, v.id, start.data(), count.data(), values.data()), where(v));
  }
  // A variable stored with longitude before latitude comes out column by
  // column; the rest of the importer takes rows.
  const auto lat_at = std::find(v.dims.begin(), v.dims.end(), axes_.lat);
  const auto lon_at = std::find(v.dims.begin(), v.dims.end(), axes_.lon);
  if (lon_at < lat_at) transpose(values, nlon, nlat);
  // netCDF-C hands packed values back as stored: the unpacking is the
  // reader's, value = packed x scale_factor + add_offset, in double.
  const double scale = scale_[at.variable], offset = offset_[at.variable], fill = fill_[at.variable];
  const double missing = missing_[at.variable].value_or(fill);
  for (double& x : values) {
    x = (x == fill || x == missing || std::isnan(x)) ? std::numeric_limits<double>::quiet_NaN() : x * scale + offset;
  }
}

size_t NetcdfSource::read(const FieldInfo& field, float* values) const {
  thread_local std::vector<double> slab;  // kept per thread and reused
  const Location& at = locations_[field.locator];
  read_slab(at, field.place, slab);
  const auto ni = static_cast<size_t>(grid_.ni), nj = static_cast<size_t>(grid_.nj);
  const double divisor = recognised_[at.variable].divisor;
  size_t missing = 0;
  for (size_t j = 0; j < nj; ++j) {
    const double* row = slab.data() + (north_first_ ? nj - 1 - j : j) * ni;
    missing += convert_row(row, ni, divisor, east_first_, values + j * ni);
  }
  return missing;
}

std::string format_name(int format) {
  switch (format) {
    case NC_FORMAT_CLASSIC: return "NetCDF classic";
    case NC_FORMAT_64BIT_OFFSET: return "NetCDF 64-bit offset";
    case NC_FORMAT_NETCDF4: return "NetCDF-4";
    case NC_FORMAT_NETCDF4_CLASSIC: return "NetCDF-4 classic model";
    case NC_FORMAT_64BIT_DATA: return "NetCDF 64-bit data";
    default: return "NetCDF";
  }
}

// ERA5 where ECMWF's GRIB attributes or the global attributes say so, or
// where the Climate Data Store made the file: its older layout comes from
// grib_to_netcdf run by the Store's MARS adaptor, and says so only in its
// history ("... by grib_to_netcdf-2.25.1: ... adaptor.mars.internal-...").
// grib_to_netcdf alone tells nothing: it converts any GRIB. "" when the
// file does not tell.
std::string model_name_of(int nc, const std::vector<Variable>& variables) {
  for (const Variable& v : variables) {
    if (text_attribute(nc, v.id, "GRIB_centre").value_or("") == "ecmf") return "ERA5";
  }
  int attributes = 0;
  nc_inq_natts(nc, &attributes);
  for (int a = 0; a < attributes; ++a) {
    char name[NC_MAX_NAME + 1] = {};
    if (nc_inq_attname(nc, NC_GLOBAL, a, name) != NC_NOERR) continue;
    const std::string text = text_attribute(nc, NC_GLOBAL, name).value_or("");
    if (text.find("ERA5") != std::string::npos) return "ERA5";
    if (std::string_view(name) == "history" && text.find("grib_to_netcdf") != std::string::npos &&
        text.find("adaptor.mars") != std::string::npos) {
      return "ERA5";
    }
  }
  return "";
}

size_t type_size(nc_type type) {
  switch (type) {
    case NC_BYTE: case NC_UBYTE: case NC_CHAR: return 1;
    case NC_SHORT: case NC_USHORT: return 2;
    case NC_INT: case NC_UINT: case NC_FLOAT: return 4;
    default: return 8;
  }
}

// netCDF-C reads the missing end of a classic file as zeros, without a
// word. The data of every variable must fit in the file: a lower bound
// (the header is not counted), which catches a file cut inside its data.
void check_classic_size(int nc, const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) fail_file_errno(path, "cannot read");
  int count = 0, unlimited = -1;
  nc_inq_nvars(nc, &count);
  nc_inq_unlimdim(nc, &unlimited);
  int64_t needed = 8;  // the magic number and the record count
  for (int id = 0; id < count; ++id) {
    int ndims = 0;
    nc_type type = NC_NAT;
    nc_inq_var(nc, id, nullptr, &type, &ndims, nullptr, nullptr);
    std::vector<int> dims(static_cast<size_t>(ndims));
    nc_inq_vardimid(nc, id, dims.data());
    int64_t bytes = static_cast<int64_t>(type_size(type));
    for (int d : dims) {
      size_t length = 0;
      nc_inq_dimlen(nc, d, &length);
      bytes *= static_cast<int64_t>(length);
    }
    needed += bytes;
  }
  if (st.st_size < needed) {
    fail_file(path, "the file is cut short: its variables need at least " + std::to_string(needed) +
                        " bytes, the file holds " + std::to_string(st.st_size));
  }
}

void NetcdfSource::take_inventory() {
  const LibraryAtWork in_hand(path_);
  // Each field is read once: a chunk cache would only hold memory.
  nc_set_chunk_cache(0, 1, 0.75f);
  check(nc_open(path_.c_str(), NC_NOWRITE, &nc_), path_);
  int format = 0;
  check(nc_inq_format(nc_, &format), path_);
  kind_ = format_name(format);
  if (format == NC_FORMAT_CLASSIC || format == NC_FORMAT_64BIT_OFFSET || format == NC_FORMAT_64BIT_DATA) {
    check_classic_size(nc_, path_);
  }
  int count = 0;
  check(nc_inq_nvars(nc_, &count), path_);
  std::vector<Variable> variables;
  for (int id = 0; id < count; ++id) variables.push_back(describe(id));
  find_axes(variables);
  read_grid();
  model_name_ = model_name_of(nc_, variables);
  fallback_model_name_ = "NETCDF";
  for (const Variable& v : variables) {
    if (!is_gridded(v, axes_)) continue;  // coordinates, bounds, anything that is not a field
    const bool has_level = has_dimension(v, axes_.level);
    const std::optional<Recognised> r = recognise(v, has_level);
    int64_t slabs = 1;
    for (const int dim : v.dims) {
      size_t length = 0;
      nc_inq_dimlen(nc_, dim, &length);
      if (dim != axes_.lat && dim != axes_.lon && dim != axes_.expver) slabs *= static_cast<int64_t>(length);
    }
    field_count_ += slabs;
    if (!r) {
      count_ignored(ignored_, v.name + " " + dimension_list(v), slabs);
      continue;
    }
    check_dimensions(v, has_level);
    add_variable(v, *r);
  }
}

}  // namespace

std::unique_ptr<Source> open_netcdf_source(const std::string& path, int index) {
  auto source = std::make_unique<NetcdfSource>(path, index);
  source->take_inventory();
  return source;
}

}  // namespace i2m
