#include "import/netcdf_source.h"

#include <netcdf.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <vector>

#include "common/failure.h"
#include "import/convert_values.h"
#include "import/data_time.h"
#include "import/library_guard.h"

namespace i2m {
namespace {

constexpr double kGravity = 9.80665;        // m s-2: geopotential to geopotential height
constexpr double kRegularSpacing = 1e-6;    // degrees a coordinate step may stray
constexpr size_t kNone = static_cast<size_t>(-1);

// netCDF-C, and the HDF5 library beneath it, keep state of their own that
// no two threads may touch at once: all NetCDF sources share this lock.
std::mutex netcdf_lock;

void check(int status, const std::string& where) {
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
  int lat = -1, lon = -1, time = -1, level = -1, expver = -1;
  std::vector<double> lats, lons;
  std::vector<int64_t> times;      // seconds since 1970, per time index
  std::vector<double> levels_pa;   // per level index
  std::vector<long> expvers;
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
  size_t time = 0, level = kNone, expver = kNone;
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
      axes_.lats.resize(coordinate_length(nc_, dim, kMaxAxis, where(v)));
      check(nc_get_var_double(nc_, v.id, axes_.lats.data()), where(v));
    } else if (one_of(n, {"longitude", "lon"}) || s == "longitude" || one_of(v.units, {"degrees_east", "degree_east"})) {
      if (dim < 0) continue;
      axes_.lon = dim;
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
    }
  }
}

// Equal steps within a millionth of a degree, or the run ends naming the coordinate.
double regular_step(const std::vector<double>& values, const std::string& where) {
  if (values.size() < 2) fail_file(where, "holds " + std::to_string(values.size()) + " point(s); a grid needs at least 2");
  const double step = (values.back() - values.front()) / static_cast<double>(values.size() - 1);
  for (size_t i = 1; i < values.size(); ++i) {
    if (!(std::fabs(values[i] - values[i - 1] - step) <= kRegularSpacing) || step == 0) {
      fail_file(where, "is not equally spaced (between points " + std::to_string(i) + " and " + std::to_string(i + 1) +
                           "): only regular latitude-longitude grids can be imported");
    }
  }
  return step;
}

void NetcdfSource::read_grid() {
  if (axes_.lat < 0) fail_file(path_, "no latitude coordinate");
  if (axes_.lon < 0) fail_file(path_, "no longitude coordinate");
  const double dlat = regular_step(axes_.lats, path_ + ": coordinate latitude");
  const double dlon = regular_step(axes_.lons, path_ + ": coordinate longitude");
  north_first_ = dlat < 0;
  east_first_ = dlon < 0;
  grid_.ni = static_cast<int32_t>(axes_.lons.size());
  grid_.nj = static_cast<int32_t>(axes_.lats.size());
  grid_.dlat = std::fabs(dlat);
  grid_.dlon = std::fabs(dlon);
  grid_.south = std::min(axes_.lats.front(), axes_.lats.back());
  grid_.west = east_first_ ? axes_.lons.back() : axes_.lons.front();
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
  } else if (n == "lsm" || s == "land_binary_mask") {
    r.quantity = Quantity::land_sea_mask;
  } else if (n == "msl" || s == "air_pressure_at_mean_sea_level" || s == "air_pressure_at_sea_level") {
    r.quantity = Quantity::mean_sea_level_pressure;
  } else if (n == "sp" || s == "surface_air_pressure") {
    r.quantity = Quantity::surface_pressure;
  } else if (n == "z" || s == "surface_geopotential" || s == "geopotential") {
    // The surface geopotential is the z without a pressure dimension.
    r.quantity = Quantity::topography;
    r.preference = 1;
    geopotential = true;
  } else if (n == "orog" || s == "surface_altitude") {
    r.quantity = Quantity::topography;
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

// Whatever precedes latitude and longitude must be time, pressure level,
// expver or a dimension of length 1.
void NetcdfSource::check_dimensions(const Variable& v, bool has_level) const {
  const size_t n = v.dims.size();
  bool understood = n >= 2 && v.dims[n - 2] == axes_.lat && v.dims[n - 1] == axes_.lon;
  for (size_t d = 0; understood && d + 2 < n; ++d) {
    size_t length = 0;
    nc_inq_dimlen(nc_, v.dims[d], &length);
    const int dim = v.dims[d];
    understood = dim == axes_.time || (dim == axes_.level && has_level) || dim == axes_.expver || length == 1;
  }
  if (!understood) {
    fail_file(where(v), "its dimensions " + dimension_list(v) +
                            " are not understood (the last two must be latitude and longitude, before them only "
                            "time, pressure level and expver)");
  }
  if (std::find(v.dims.begin(), v.dims.end(), axes_.time) == v.dims.end() && axes_.times.size() != 1) {
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

  const bool has_time = std::find(v.dims.begin(), v.dims.end(), axes_.time) != v.dims.end();
  const bool has_level = std::find(v.dims.begin(), v.dims.end(), axes_.level) != v.dims.end();
  const bool has_expver = axes_.expver >= 0 && std::find(v.dims.begin(), v.dims.end(), axes_.expver) != v.dims.end();
  const size_t times = has_time ? axes_.times.size() : 1;
  const size_t levels = has_level ? axes_.levels_pa.size() : 1;
  for (size_t t = 0; t < times; ++t) {
    Location at{index, t, kNone, kNone};
    if (has_expver) at.expver = expver_with_data(index, t);
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
      info.place = where(v) + " at " + format_data_time(info.valid_time) +
                   (has_level ? ", " + format_number(axes_.levels_pa[k] / 100.0) + " hPa" : "");
      info.source = index_;
      info.locator = locations_.size();
      locations_.push_back(at);
      fields_.push_back(info);
    }
  }
}

// Where ERA5 and ERA5T meet, each time holds data in one expver slice only,
// the other filled; the slice that holds data is the field.
size_t NetcdfSource::expver_with_data(size_t variable, size_t time) const {
  const std::vector<int>& dims = variables_[variable].dims;
  const bool has_level = std::find(dims.begin(), dims.end(), axes_.level) != dims.end();
  std::vector<double> values;
  size_t found = kNone;
  for (size_t e = 0; e < axes_.expvers.size(); ++e) {
    read_slab(Location{variable, time, has_level ? 0 : kNone, e}, where(variables_[variable]), values);
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
  }
  values.resize(grid_.points());
  {
    const std::lock_guard<std::mutex> hold(netcdf_lock);
    const LibraryAtWork in_hand(place);  // after the lock: waiting for it is no hang
    check(nc_get_vara_double(nc_, v.id, start.data(), count.data(), values.data()), where(v));
  }
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

// ERA5 where ECMWF's GRIB attributes or the global attributes say so.
std::string model_name_of(int nc, const std::vector<Variable>& variables) {
  for (const Variable& v : variables) {
    if (text_attribute(nc, v.id, "GRIB_centre").value_or("") == "ecmf") return "ERA5";
  }
  int attributes = 0;
  nc_inq_natts(nc, &attributes);
  for (int a = 0; a < attributes; ++a) {
    char name[NC_MAX_NAME + 1] = {};
    if (nc_inq_attname(nc, NC_GLOBAL, a, name) != NC_NOERR) continue;
    if (text_attribute(nc, NC_GLOBAL, name).value_or("").find("ERA5") != std::string::npos) return "ERA5";
  }
  return "NETCDF";
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
  for (const Variable& v : variables) {
    const size_t n = v.dims.size();
    if (n < 2 || !is_number_type(v.type) || v.dims[n - 2] != axes_.lat || v.dims[n - 1] != axes_.lon) {
      if (n >= 2 && is_number_type(v.type)) count_ignored(ignored_, v.name + " " + dimension_list(v));
      continue;
    }
    const bool has_level = axes_.level >= 0 && std::find(v.dims.begin(), v.dims.end(), axes_.level) != v.dims.end();
    const std::optional<Recognised> r = recognise(v, has_level);
    size_t slabs = 1;
    for (size_t d = 0; d + 2 < n; ++d) {
      size_t length = 0;
      nc_inq_dimlen(nc_, v.dims[d], &length);
      if (v.dims[d] != axes_.expver) slabs *= length;
    }
    field_count_ += static_cast<int64_t>(slabs);
    if (!r) {
      count_ignored(ignored_, v.name + " " + dimension_list(v));
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
