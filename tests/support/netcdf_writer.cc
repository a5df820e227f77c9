#include "support/netcdf_writer.h"

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace testing_support {
namespace {

void check(int status, const std::string& what) {
  if (status != NC_NOERR) throw std::runtime_error("netCDF-C refused " + what + ": " + nc_strerror(status));
}

// 16-bit packing that holds every value of the data set exactly.
struct Packing {
  double scale, offset;
};
Packing packing_of(int v) {
  switch (v) {
    case kZ: return {1, 11000};
    case kQ: return {1.0 / 4096, 0};
    case kLsm: return {0.25, 0};
    case kMsl: return {1, 100000};
    case kSp: return {1, 95000};
    default: break;
  }
  if (v >= kStl1) return (v - kStl1) % 2 == 0 ? Packing{0.5, 260} : Packing{1.0 / 64, 0};
  return {1, 0};
}

const char* units_of(int v) {
  switch (v) {
    case kZ: case kZs: return "m**2 s**-2";
    case kR: return "%";
    case kQ: return "kg kg**-1";
    case kT: return "K";
    case kU: case kV: return "m s**-1";
    case kLsm: return "(0 - 1)";
    case kMsl: case kSp: return "Pa";
    default: return (v - kStl1) % 2 == 0 ? "K" : "m**3 m**-3";
  }
}

class Writer {
 public:
  Writer(const Era5Like& d, const NetcdfLayout& layout, const std::string& path, bool pressure)
      : d_(d), layout_(layout), pressure_(pressure) {
    check(nc_create(path.c_str(), NC_CLOBBER | (layout.newer ? NC_NETCDF4 : NC_64BIT_OFFSET), &nc_), path);
    define_axes();
  }
  ~Writer() { nc_close(nc_); }

  void add_variable(int v) {
    const Era5VariableInfo& info = era5_variable(v);
    std::vector<int> dims = {time_dim_};
    if (expver_dim_ >= 0) dims.push_back(expver_dim_);
    if (member_dim_ >= 0) dims.push_back(member_dim_);
    if (info.upper_air) dims.push_back(level_dim_);
    dims.push_back(lat_dim_);
    dims.push_back(lon_dim_);
    if (layout_.transposed) turn(dims);
    int id = 0;
    check(nc_def_var(nc_, info.name, layout_.newer ? NC_FLOAT : NC_SHORT, static_cast<int>(dims.size()), dims.data(), &id),
          info.name);
    text(id, "units", units_of(v));
    if (layout_.newer) {
      const float nan = NAN;
      check(nc_put_att_float(nc_, id, "_FillValue", NC_FLOAT, 1, &nan), "_FillValue");
      text(id, "GRIB_centre", "ecmf");
      std::vector<size_t> chunks(dims.size(), 1);
      for (size_t d = 0; d < dims.size(); ++d) {
        if (dims[d] == lat_dim_) chunks[d] = static_cast<size_t>(d_.nj);
        if (dims[d] == lon_dim_) chunks[d] = static_cast<size_t>(d_.ni);
      }
      check(nc_def_var_chunking(nc_, id, NC_CHUNKED, chunks.data()), "chunks");
      check(nc_def_var_deflate(nc_, id, 0, 1, 1), "deflate");
    } else {
      const Packing p = packing_of(v);
      const short fill = -32767;
      check(nc_put_att_double(nc_, id, "scale_factor", NC_DOUBLE, 1, &p.scale), "scale_factor");
      check(nc_put_att_double(nc_, id, "add_offset", NC_DOUBLE, 1, &p.offset), "add_offset");
      check(nc_put_att_short(nc_, id, "_FillValue", NC_SHORT, 1, &fill), "_FillValue");
      check(nc_put_att_short(nc_, id, "missing_value", NC_SHORT, 1, &fill), "missing_value");
    }
    variables_.push_back({v, id});
  }

  void write() {
    check(nc_enddef(nc_), "enddef");
    write_axes();
    for (const auto& [v, id] : variables_) write_variable(v, id);
  }

 private:
  // The dimensions of a transposed variable in reverse order; in a classic
  // file, whose record dimension (time) must come first, all but that one.
  template <typename T>
  void turn(std::vector<T>& dims) const {
    std::reverse(dims.begin() + (layout_.newer ? 0 : 1), dims.end());
  }

  void text(int var, const char* name, const std::string& value) {
    check(nc_put_att_text(nc_, var, name, value.size(), value.c_str()), name);
  }

  void define_axes() {
    const bool newer = layout_.newer;
    check(nc_def_dim(nc_, newer ? "valid_time" : "time", newer ? d_.dates.size() : NC_UNLIMITED, &time_dim_), "time");
    if (layout_.expver) check(nc_def_dim(nc_, "expver", 2, &expver_dim_), "expver");
    if (layout_.members > 0) check(nc_def_dim(nc_, "number", static_cast<size_t>(layout_.members), &member_dim_), "number");
    if (pressure_) check(nc_def_dim(nc_, newer ? "pressure_level" : "level", d_.levels_hpa.size(), &level_dim_), "level");
    check(nc_def_dim(nc_, "latitude", static_cast<size_t>(d_.nj), &lat_dim_), "latitude");
    check(nc_def_dim(nc_, "longitude", static_cast<size_t>(d_.ni), &lon_dim_), "longitude");
    const nc_type coordinate = newer ? NC_DOUBLE : NC_FLOAT;
    check(nc_def_var(nc_, "longitude", coordinate, 1, &lon_dim_, &lon_var_), "longitude");
    text(lon_var_, "units", "degrees_east");
    check(nc_def_var(nc_, "latitude", coordinate, 1, &lat_dim_, &lat_var_), "latitude");
    text(lat_var_, "units", "degrees_north");
    if (pressure_) {
      check(nc_def_var(nc_, newer ? "pressure_level" : "level", newer ? NC_DOUBLE : NC_INT, 1, &level_dim_, &level_var_),
            "level");
      text(level_var_, "units", newer ? "hPa" : "millibars");
    }
    // Days need fractions: hours and seconds are whole.
    const nc_type time_type = !layout_.time_units.empty() ? NC_DOUBLE : newer ? NC_INT64 : NC_INT;
    check(nc_def_var(nc_, newer ? "valid_time" : "time", time_type, 1, &time_dim_, &time_var_), "time");
    text(time_var_, "units", !layout_.time_units.empty() ? layout_.time_units
                             : newer                     ? "seconds since 1970-01-01"
                                                         : "hours since 1900-01-01 00:00:00.0");
    text(time_var_, "calendar", newer ? "proleptic_gregorian" : "gregorian");
    if (layout_.expver) {
      check(nc_def_var(nc_, "expver", NC_INT, 1, &expver_dim_, &expver_var_), "expver");
    }
    if (layout_.members > 0) {
      check(nc_def_var(nc_, "number", NC_INT, 1, &member_dim_, &member_var_), "number");
    } else if (newer) {
      int number = 0;
      check(nc_def_var(nc_, "number", NC_INT64, 0, nullptr, &number), "number");
    }
    text(NC_GLOBAL, "Conventions", "CF-1.6");
    if (!newer) text(NC_GLOBAL, "history", "test data in the layout of ERA5 from the Climate Data Store");
  }

  // Time values in the layout's unit: "days since 2024-01-01" or the layout's own.
  double time_value(size_t t) const {
    const long date = d_.dates[t];
    const double hours_since_1970 = static_cast<double>(days_since_1970(date / 10000, date / 100 % 100, date % 100)) * 24 +
                                    static_cast<double>(d_.times[t] / 100);
    if (layout_.time_units.rfind("days since 2024-01-01", 0) == 0) {
      return (hours_since_1970 - static_cast<double>(days_since_1970(2024, 1, 1)) * 24) / 24;
    }
    if (layout_.newer) return hours_since_1970 * 3600;
    return hours_since_1970 - static_cast<double>(days_since_1970(1900, 1, 1)) * 24;
  }

  // Counted day by day: slow, plain, and not the importer's arithmetic.
  static long days_since_1970(long year, long month, long day) {
    auto leap = [](long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    const int length[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    long days = 0;
    for (long y = std::min(year, 1970L); y < std::max(year, 1970L); ++y) days += (leap(y) ? 366 : 365) * (year < 1970 ? -1 : 1);
    for (long m = 1; m < month; ++m) days += length[m - 1] + (m == 2 && leap(year) ? 1 : 0);
    return days + day - 1;
  }

  void write_axes() {
    std::vector<double> lons, lats;
    for (int i = 0; i < d_.ni; ++i) lons.push_back(d_.lon_west + i * d_.dlon);
    for (int j = 0; j < d_.nj; ++j) lats.push_back(d_.lat_north - (layout_.south_first ? d_.nj - 1 - j : j) * d_.dlat);
    check(nc_put_var_double(nc_, lon_var_, lons.data()), "longitude");
    check(nc_put_var_double(nc_, lat_var_, lats.data()), "latitude");
    if (pressure_) {
      std::vector<double> levels(d_.levels_hpa.begin(), d_.levels_hpa.end());
      check(nc_put_var_double(nc_, level_var_, levels.data()), "level");
    }
    for (size_t t = 0; t < d_.dates.size(); ++t) {
      const double value = time_value(t);
      check(nc_put_var1_double(nc_, time_var_, &t, &value), "time");
    }
    if (layout_.expver) {
      const int expvers[] = {1, 5};
      check(nc_put_var_int(nc_, expver_var_, expvers), "expver");
    }
    for (int m = 0; m < layout_.members; ++m) {
      const size_t at = static_cast<size_t>(m);
      check(nc_put_var1_int(nc_, member_var_, &at, &m), "number");
    }
  }

  // Whether expver slice `e` holds data at time `t`.
  bool holds_data(size_t e, size_t t) const {
    if (!layout_.expver) return true;
    if (layout_.expver_overlap && t + 1 == d_.dates.size()) return true;
    return (t == 0) == (e == 0);
  }

  void write_variable(int v, int id) {
    const bool upper = era5_variable(v).upper_air;
    const size_t levels = upper ? d_.levels_hpa.size() : 1;
    const size_t expvers = layout_.expver ? 2 : 1;
    const size_t members = layout_.members > 0 ? static_cast<size_t>(layout_.members) : 1;
    for (size_t t = 0; t < d_.dates.size(); ++t) {
      for (size_t e = 0; e < expvers; ++e) {
        for (size_t m = 0; m < members; ++m) {
          for (size_t k = 0; k < levels; ++k) {
            std::vector<size_t> start = {t}, count = {1};
            if (layout_.expver) { start.push_back(e); count.push_back(1); }
            if (layout_.members > 0) { start.push_back(m); count.push_back(1); }
            if (upper) { start.push_back(k); count.push_back(1); }
            start.insert(start.end(), {0, 0});
            count.insert(count.end(), {static_cast<size_t>(d_.nj), static_cast<size_t>(d_.ni)});
            if (layout_.transposed) {
              turn(start);
              turn(count);
            }
            const bool skipped = !holds_data(e, t) || m + 1 < members ||
                                 (layout_.leave_out != nullptr && layout_.leave_out(v, t, k));
            put_field(v, id, t, k, skipped, start, count);
          }
        }
      }
    }
  }

  void put_field(int v, int id, size_t t, size_t k, bool skipped, const std::vector<size_t>& start,
                 const std::vector<size_t>& count) {
    const Packing p = packing_of(v);
    std::vector<float> floats;
    std::vector<short> shorts;
    auto put = [&](int r, int i) {
      const int j = layout_.south_first ? d_.nj - 1 - r : r;
      const double x = skipped ? NAN : d_.value(v, t, k, j, i);
      floats.push_back(static_cast<float>(x));
      shorts.push_back(std::isnan(x) ? short{-32767} : static_cast<short>(std::lround((x - p.offset) / p.scale)));
    };
    // Row by row; transposed, column by column.
    for (int a = 0; a < (layout_.transposed ? d_.ni : d_.nj); ++a) {
      for (int b = 0; b < (layout_.transposed ? d_.nj : d_.ni); ++b) {
        if (layout_.transposed) {
          put(b, a);
        } else {
          put(a, b);
        }
      }
    }
    if (layout_.newer) {
      check(nc_put_vara_float(nc_, id, start.data(), count.data(), floats.data()), "values");
    } else {
      check(nc_put_vara_short(nc_, id, start.data(), count.data(), shorts.data()), "values");
    }
  }

  const Era5Like& d_;
  const NetcdfLayout& layout_;
  bool pressure_;
  int nc_ = -1;
  int time_dim_ = -1, expver_dim_ = -1, member_dim_ = -1, level_dim_ = -1, lat_dim_ = -1, lon_dim_ = -1;
  int time_var_ = -1, expver_var_ = -1, member_var_ = -1, level_var_ = -1, lat_var_ = -1, lon_var_ = -1;
  std::vector<std::pair<int, int>> variables_;
};

// Left out at every time and level: the variable is not defined at all.
bool left_out_entirely(const Era5Like& d, const NetcdfLayout& layout, int v) {
  if (layout.leave_out == nullptr) return false;
  const size_t levels = era5_variable(v).upper_air ? d.levels_hpa.size() : 1;
  for (size_t t = 0; t < d.dates.size(); ++t) {
    for (size_t k = 0; k < levels; ++k) {
      if (!layout.leave_out(v, t, k)) return false;
    }
  }
  return true;
}

}  // namespace

void write_era5_netcdf(const Era5Like& d, const NetcdfLayout& layout, const std::string& pressure_file,
                       const std::string& single_file) {
  Writer pressure(d, layout, pressure_file, true);
  Writer single(d, layout, single_file, false);
  for (int v = 0; v < kEra5Variables; ++v) {
    if (left_out_entirely(d, layout, v)) continue;
    (era5_variable(v).upper_air ? pressure : single).add_variable(v);
  }
  pressure.write();
  single.write();
}

}  // namespace testing_support
