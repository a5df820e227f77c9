#include "import/netcdf_source.h"

#include <netcdf.h>
#include <netcdf_mem.h>  // after netcdf.h, whose macros it uses
#include <sys/mman.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/thread_scratch.h"
#include "common/number_text.h"
#include "import/convert_values.h"
#include "import/data_time.h"
#include "import/library_guard.h"
#include "import/netcdf_axes.h"
#include "import/netcdf_file.h"
#include "import/netcdf_model_levels.h"
#include "import/parameters.h"

namespace i2m {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// Each worker's buffers for reading slabs, one type each.
struct SlabScratch {
  std::vector<double> values;
};
struct TransposeScratch {
  std::vector<double> values;
};

// What a recognised variable is to the importer.
struct Recognised {
  Quantity quantity = Quantity::height;
  int preference = 0;
  double divisor = 1;
  double top = 0, bottom = 0;  // soil layers, m
  // A model-level parameter: on the model levels, or (lnsp, the surface
  // geopotential) on a one-level model-level axis or none, taken as
  // ECMWF's level 1.
  bool model_level = false;
};

// Which level dimensions a variable has.
struct LevelDims {
  bool pressure = false;  // the pressure-level axis
  bool model = false;     // the model-level axis
  bool single = false;    // a one-level model-level axis
};

// How a field is found again: the variable and its indices along time,
// level, expver and member (kNone where the variable has no such dimension).
struct Location {
  size_t variable = 0;
  size_t time = 0, level = kNone, expver = kNone, member = kNone;
};

bool has_dimension(const Variable& v, int dim) {
  return dim >= 0 && std::find(v.dims.begin(), v.dims.end(), dim) != v.dims.end();
}

// A field of the file: latitude and longitude among its dimensions, in any
// order and place.
bool is_gridded(const Variable& v, const Axes& axes) {
  return is_number_type(v.type) && has_dimension(v, axes.lat) && has_dimension(v, axes.lon);
}

// Turns `rows` rows of `columns` values into `columns` rows of `rows`.
void transpose(std::vector<double>& values, size_t rows, size_t columns) {
  std::vector<double>& turned = thread_scratch<TransposeScratch>().values;  // kept by each worker for the import's life
  turned.resize(values.size());
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < columns; ++c) turned[c * rows + r] = values[r * columns + c];
  }
  values.swap(turned);
}

class NetcdfSource : public Source {
 public:
  // `path` names the source in diagnostics, `open_path` is where it is read.
  NetcdfSource(std::string path, std::string open_path, int index)
      : path_(std::move(path)), open_path_(std::move(open_path)), index_(index) {}
  ~NetcdfSource() override {
    if (nc_ >= 0) nc_close(nc_);
    if (mapped_ != nullptr) ::munmap(mapped_, mapped_size_);
  }
  NetcdfSource(const NetcdfSource&) = delete;
  NetcdfSource& operator=(const NetcdfSource&) = delete;

  // Opens and scans the file; its inventory, once.
  SourceInventory scan();
  size_t read(const FieldInfo& field, float* values) const override { return read_values(field, values); }
  size_t read(const FieldInfo& field, double* values) const override { return read_values(field, values); }

 private:
  template <typename T>
  size_t read_values(const FieldInfo& field, T* values) const;
  std::string where(const Variable& v) const { return path_ + ": variable " + v.name; }
  void open_file();
  void scan_variable(const Variable& v);
  LevelDims level_dims(const Variable& v) const;
  std::optional<Recognised> recognise(const Variable& v, const LevelDims& levels) const;
  void check_dimensions(const Variable& v, const LevelDims& levels) const;
  Level level_of(const Variable& v, const Recognised& r, size_t k) const;
  void add_variable(const Variable& v, const Recognised& r);
  size_t expver_with_data(size_t variable, size_t time) const;
  void read_slab(const Location& at, const std::string& place, std::vector<double>& values) const;

  std::string path_;
  std::string open_path_;
  int index_;
  int nc_ = -1;
  SourceInventory inventory_;  // while scanning
  Axes axes_;
  std::shared_ptr<const Grid> grid_;
  bool north_first_ = false, east_first_ = false;
  std::vector<Variable> variables_;   // the recognised ones, by Location::variable
  std::vector<Recognised> recognised_;
  std::vector<double> scale_, offset_, fill_;
  std::vector<std::optional<double>> missing_;
  std::vector<Location> locations_;
  std::shared_ptr<const HybridCoefficients> coefficients_;  // of the model levels, when the file has them
  void* mapped_ = nullptr;  // an archive's member held in memory, mapped for netCDF-C
  size_t mapped_size_ = 0;
};

void NetcdfSource::open_file() {
  // Each field is read once: a chunk cache would only hold memory.
  nc_set_chunk_cache(0, 1, 0.75f);
  // HDF5 cannot open a memory file by its /proc name: netCDF-C is given its
  // bytes instead.
  if (open_path_.starts_with("/proc/self/fd/")) {
    const UniqueFd fd(open_for_reading(open_path_));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) fail_file_errno(path_, "cannot read");
    mapped_size_ = static_cast<size_t>(st.st_size);
    mapped_ = ::mmap(nullptr, mapped_size_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (mapped_ == MAP_FAILED) {
      mapped_ = nullptr;
      fail_file_errno(path_, "cannot read");
    }
    check(nc_open_mem(path_.c_str(), NC_NOWRITE, mapped_size_, mapped_, &nc_), path_);
  } else {
    check(nc_open(open_path_.c_str(), NC_NOWRITE, &nc_), path_);
  }
  int format = 0;
  check(nc_inq_format(nc_, &format), path_);
  inventory_.kind = format_name(format);
  if (format == NC_FORMAT_CLASSIC || format == NC_FORMAT_64BIT_OFFSET || format == NC_FORMAT_64BIT_DATA) {
    check_classic_size(nc_, path_);
  }
}

SourceInventory NetcdfSource::scan() {
  const LibraryAtWork in_hand(path_);
  inventory_.path = path_;
  open_file();
  int count = 0;
  check(nc_inq_nvars(nc_, &count), path_);
  std::vector<Variable> variables;
  for (int id = 0; id < count; ++id) variables.push_back(describe_variable(nc_, id, path_));
  axes_ = find_axes(nc_, variables, path_);
  const AxesGrid g = grid_of(axes_, path_);
  grid_ = std::make_shared<const Grid>(g.grid);
  north_first_ = g.north_first;
  east_first_ = g.east_first;
  inventory_.note_grid(describe_grid(*grid_));
  inventory_.model_name = model_name_of(nc_, variables);
  inventory_.fallback_model_name = "NETCDF";
  if (axes_.model_level >= 0) {
    bool from_table = false;
    coefficients_ = model_level_coefficients(nc_, axes_.model_level_variable, axes_.model_level_numbers, path_, from_table);
    if (from_table) {
      inventory_.notes.push_back("model levels without the coefficients of their levels: ECMWF's L137 levels taken");
    }
  }
  for (const Variable& v : variables) {
    if (is_gridded(v, axes_)) scan_variable(v);  // not coordinates, bounds or anything else
  }
  return std::move(inventory_);
}

// A field per time, level and member (an expver slice is not one).
LevelDims NetcdfSource::level_dims(const Variable& v) const {
  LevelDims d;
  d.pressure = has_dimension(v, axes_.level);
  d.model = has_dimension(v, axes_.model_level);
  d.single = std::any_of(axes_.single_model_levels.begin(), axes_.single_model_levels.end(),
                         [&](int dim) { return has_dimension(v, dim); });
  return d;
}

void NetcdfSource::scan_variable(const Variable& v) {
  const LevelDims levels = level_dims(v);
  const std::optional<Recognised> r = recognise(v, levels);
  int64_t slabs = 1;
  for (const int dim : v.dims) {
    size_t length = 0;
    nc_inq_dimlen(nc_, dim, &length);
    if (dim != axes_.lat && dim != axes_.lon && dim != axes_.expver) slabs *= static_cast<int64_t>(length);
  }
  inventory_.field_count += slabs;
  if (!r) {
    inventory_.count_ignored(v.name + " " + dimension_list(nc_, v), slabs);
    return;
  }
  check_dimensions(v, levels);
  add_variable(v, *r);
}

// By ERA5's and GFS's names first, then by CF standard names; the units
// attribute gives the divisor.
std::optional<Recognised> NetcdfSource::recognise(const Variable& v, const LevelDims& levels) const {
  Recognised r;
  const bool has_level = levels.pressure;
  const Parameter* p = nullptr;
  if (levels.model) {
    p = find_model_level_parameter(v.name, v.standard_name);
    if (p != nullptr && !is_upper_air(p->quantity)) p = nullptr;  // lnsp and z belong to the surface
    r.model_level = p != nullptr;
  } else if (!has_level) {
    // lnsp, and on a one-level model-level axis the surface geopotential.
    p = find_model_level_parameter(v.name, v.standard_name);
    r.model_level = p != nullptr && !is_upper_air(p->quantity) && (levels.single || p->quantity == Quantity::log_surface_pressure);
    if (!r.model_level) p = nullptr;
  }
  if (p == nullptr && !levels.model) {
    p = has_level ? find_upper_air_parameter(v.name, v.standard_name) : find_surface_parameter(v.name, v.standard_name);
  }
  if (p != nullptr) {
    r.quantity = p->quantity;
    r.preference = p->preference;
  } else if (const SoilLayer* layer = has_level || levels.model ? nullptr : find_era5_soil_layer(v.name)) {
    r.quantity = layer->quantity;
    r.top = layer->top;
    r.bottom = layer->bottom;
  } else {
    return std::nullopt;
  }
  const std::optional<double> divisor = netcdf_divisor(r.quantity, p != nullptr && p->geopotential, v.units);
  if (!divisor) {
    fail_file(where(v), "units \"" + v.units + "\" are not understood for " + std::string(quantity_name(r.quantity)));
  }
  r.divisor = *divisor;
  return r;
}

// Beside latitude and longitude, in any order: time, pressure level,
// expver, ensemble member, or a dimension of length 1.
void NetcdfSource::check_dimensions(const Variable& v, const LevelDims& levels) const {
  bool understood = true;
  for (const int dim : v.dims) {
    size_t length = 0;
    nc_inq_dimlen(nc_, dim, &length);
    understood = understood && (dim == axes_.lat || dim == axes_.lon || dim == axes_.time ||
                                (dim == axes_.level && levels.pressure) || (dim == axes_.model_level && levels.model) ||
                                dim == axes_.expver || dim == axes_.member || length == 1);
  }
  if (!understood) {
    fail_file(where(v), "its dimensions " + dimension_list(nc_, v) +
                            " are not understood (beside latitude and longitude, in any order, only time, "
                            "pressure or model level, expver and ensemble member)");
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

  const bool has_level = has_dimension(v, axes_.level) || (r.model_level && has_dimension(v, axes_.model_level));
  const bool has_member = has_dimension(v, axes_.member);
  const size_t times = has_dimension(v, axes_.time) ? axes_.times.size() : 1;
  const size_t levels = !has_level ? 1 : r.model_level ? axes_.model_level_numbers.size() : axes_.levels_pa.size();
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
        info.level = level_of(v, r, k);
        if (r.model_level) info.hybrid = coefficients_;
        info.grid = grid_;
        info.name = v.name;
        info.units = v.units;
        info.member = has_member ? axes_.members[m] : kNoMember;
        info.place = where(v) + " at " + format_data_time(info.valid_time) +
                     (has_level ? ", " + describe_level(info.level) : "") +
                     (has_member ? ", member " + std::to_string(axes_.members[m]) : "");
        info.source = index_;
        info.locator = locations_.size();
        locations_.push_back(at);
        inventory_.fields.push_back(info);
      }
    }
  }
}

// The level of field k of a variable.
Level NetcdfSource::level_of(const Variable& v, const Recognised& r, size_t k) const {
  if (r.model_level) {
    return has_dimension(v, axes_.model_level) ? Level::hybrid(axes_.model_level_numbers[k]) : Level::hybrid(1);
  }
  if (has_dimension(v, axes_.level)) return Level::isobaric(axes_.levels_pa[k]);
  return is_soil(r.quantity) ? Level::soil(r.top, r.bottom) : Level::surface();
}

// Where ERA5 and ERA5T meet, each time holds data in one expver slice only,
// the other filled; the slice that holds data is the field.
size_t NetcdfSource::expver_with_data(size_t variable, size_t time) const {
  const bool has_level = has_dimension(variables_[variable], axes_.level) ||
                         (recognised_[variable].model_level && has_dimension(variables_[variable], axes_.model_level));
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
    if ((dim == axes_.level || dim == axes_.model_level) && at.level != kNone) start[d] = at.level;
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

template <typename T>
size_t NetcdfSource::read_values(const FieldInfo& field, T* values) const {
  std::vector<double>& slab = thread_scratch<SlabScratch>().values;  // kept by each worker for the import's life
  const Location& at = locations_[field.locator];
  read_slab(at, field.place, slab);
  // A regular Gaussian grid's rows are as long as one another: the values
  // come in the order of a regular grid's.
  const bool regular = grid_->kind == GridKind::regular_ll;
  const auto ni = static_cast<size_t>(regular ? grid_->regular.ni : grid_->rows.front().points);
  const auto nj = static_cast<size_t>(regular ? grid_->regular.nj : static_cast<int32_t>(grid_->rows.size()));
  return convert_field(slab.data(), ni, nj, north_first_, east_first_, recognised_[at.variable].divisor, values);
}

}  // namespace

OpenedSource open_netcdf_source(const std::string& path, const std::string& open_path, int index) {
  auto source = std::make_unique<NetcdfSource>(path, open_path, index);
  SourceInventory inventory = source->scan();
  return {std::move(source), std::move(inventory), nullptr};
}

}  // namespace i2m
