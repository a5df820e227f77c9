// make_era5_netcdf: writes the importer's benchmark data set (see
// era5_fields.h) as NetCDF in one of the Climate Data Store's two ERA5
// layouts, all variables in one file.
//
//   make_era5_netcdf OUTPUT newer|older [--ni NI --nj NJ]
//
// newer: NetCDF-4, valid_time in seconds since 1970, pressure_level in hPa,
//        float32 values, zlib-compressed, one chunk per field.
// older: NetCDF3 64-bit offset, time in hours since 1900, level in
//        millibars, 16-bit values packed with scale_factor and add_offset.

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "era5_fields.h"

namespace {

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "make_era5_netcdf: %s\n", what.c_str());
  std::exit(2);
}

void check(int status, const std::string& what) {
  if (status != NC_NOERR) die(what + ": " + nc_strerror(status));
}

void text(int nc, int var, const char* name, const std::string& value) {
  check(nc_put_att_text(nc, var, name, value.size(), value.c_str()), name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) die("usage: make_era5_netcdf OUTPUT newer|older [--ni NI --nj NJ]");
  const std::string path = argv[1];
  const bool newer = std::string(argv[2]) == "newer";
  int ni = 1440, nj = 721;
  for (int a = 3; a + 1 < argc; a += 2) {
    if (std::string(argv[a]) == "--ni") ni = std::atoi(argv[a + 1]);
    if (std::string(argv[a]) == "--nj") nj = std::atoi(argv[a + 1]);
  }
  const std::vector<long> levels = era5_bench_levels();
  int nc = 0;
  check(nc_create(path.c_str(), NC_CLOBBER | (newer ? NC_NETCDF4 : NC_64BIT_OFFSET), &nc), path);
  int time_dim, level_dim, lat_dim, lon_dim;
  check(nc_def_dim(nc, newer ? "valid_time" : "time", 1, &time_dim), "time");
  check(nc_def_dim(nc, newer ? "pressure_level" : "level", levels.size(), &level_dim), "level");
  check(nc_def_dim(nc, "latitude", static_cast<size_t>(nj), &lat_dim), "latitude");
  check(nc_def_dim(nc, "longitude", static_cast<size_t>(ni), &lon_dim), "longitude");
  int time_var, level_var, lat_var, lon_var;
  check(nc_def_var(nc, newer ? "valid_time" : "time", newer ? NC_INT64 : NC_INT, 1, &time_dim, &time_var), "time");
  text(nc, time_var, "units", newer ? "seconds since 1970-01-01" : "hours since 1900-01-01 00:00:00.0");
  check(nc_def_var(nc, newer ? "pressure_level" : "level", newer ? NC_DOUBLE : NC_INT, 1, &level_dim, &level_var), "level");
  text(nc, level_var, "units", newer ? "hPa" : "millibars");
  check(nc_def_var(nc, "latitude", newer ? NC_DOUBLE : NC_FLOAT, 1, &lat_dim, &lat_var), "latitude");
  text(nc, lat_var, "units", "degrees_north");
  check(nc_def_var(nc, "longitude", newer ? NC_DOUBLE : NC_FLOAT, 1, &lon_dim, &lon_var), "longitude");
  text(nc, lon_var, "units", "degrees_east");

  // The single-level z is the surface geopotential: it shares the name.
  std::vector<int> ids(kEra5BenchVariableCount, -1);
  std::vector<std::vector<std::vector<double>>> fields(kEra5BenchVariableCount);
  for (int v = 0; v < kEra5BenchVariableCount; ++v) {
    const Era5BenchVariable& var = kEra5BenchVariables[v];
    const std::string name = v == 9 ? "zs" : var.name;  // one file holds both z
    std::vector<int> dims = {time_dim};
    if (var.upper_air) dims.push_back(level_dim);
    dims.push_back(lat_dim);
    dims.push_back(lon_dim);
    check(nc_def_var(nc, name.c_str(), newer ? NC_FLOAT : NC_SHORT, static_cast<int>(dims.size()), dims.data(), &ids[v]),
          name);
    text(nc, ids[v], "units", var.units);
    if (v == 9) text(nc, ids[v], "standard_name", "surface_geopotential");
    for (long level : var.upper_air ? levels : std::vector<long>{0}) fields[v].push_back(era5_field_values(v, level, ni, nj));
    if (newer) {
      const float nan = NAN;
      check(nc_put_att_float(nc, ids[v], "_FillValue", NC_FLOAT, 1, &nan), "_FillValue");
      text(nc, ids[v], "GRIB_centre", "ecmf");
      std::vector<size_t> chunks(dims.size(), 1);
      chunks[dims.size() - 2] = static_cast<size_t>(nj);
      chunks[dims.size() - 1] = static_cast<size_t>(ni);
      check(nc_def_var_chunking(nc, ids[v], NC_CHUNKED, chunks.data()), "chunking");
      check(nc_def_var_deflate(nc, ids[v], 1, 1, 1), "deflate");
    } else {
      // As the Data Store packed: the variable's range over 65534 steps.
      double lo = INFINITY, hi = -INFINITY;
      for (const auto& f : fields[v]) {
        lo = std::min(lo, *std::min_element(f.begin(), f.end()));
        hi = std::max(hi, *std::max_element(f.begin(), f.end()));
      }
      const double scale = hi > lo ? (hi - lo) / 65534.0 : 1.0, offset = (hi + lo) / 2;
      const short fill = -32767;
      check(nc_put_att_double(nc, ids[v], "scale_factor", NC_DOUBLE, 1, &scale), "scale_factor");
      check(nc_put_att_double(nc, ids[v], "add_offset", NC_DOUBLE, 1, &offset), "add_offset");
      check(nc_put_att_short(nc, ids[v], "_FillValue", NC_SHORT, 1, &fill), "_FillValue");
      check(nc_put_att_short(nc, ids[v], "missing_value", NC_SHORT, 1, &fill), "missing_value");
    }
  }
  text(nc, NC_GLOBAL, "history", "benchmark data in the layout of ERA5 from the Climate Data Store");
  check(nc_enddef(nc), "enddef");

  std::vector<double> lats(static_cast<size_t>(nj)), lons(static_cast<size_t>(ni));
  for (int j = 0; j < nj; ++j) lats[static_cast<size_t>(j)] = 90.0 - 180.0 * j / (nj - 1);
  for (int i = 0; i < ni; ++i) lons[static_cast<size_t>(i)] = 360.0 * i / ni;
  check(nc_put_var_double(nc, lat_var, lats.data()), "latitude");
  check(nc_put_var_double(nc, lon_var, lons.data()), "longitude");
  std::vector<double> level_values(levels.begin(), levels.end());
  check(nc_put_var_double(nc, level_var, level_values.data()), "level");
  const double time = newer ? 1704067200.0 : 1086960.0;  // 2024-01-01 00 UTC
  const size_t zero = 0;
  check(nc_put_var1_double(nc, time_var, &zero, &time), "time");
  for (int v = 0; v < kEra5BenchVariableCount; ++v) {
    double scale = 1, offset = 0;
    nc_get_att_double(nc, ids[v], "scale_factor", &scale);
    nc_get_att_double(nc, ids[v], "add_offset", &offset);
    for (size_t k = 0; k < fields[v].size(); ++k) {
      const bool upper = kEra5BenchVariables[v].upper_air;
      std::vector<size_t> start = {0}, count = {1};
      if (upper) { start.push_back(k); count.push_back(1); }
      start.insert(start.end(), {0, 0});
      count.insert(count.end(), {static_cast<size_t>(nj), static_cast<size_t>(ni)});
      const std::vector<double>& f = fields[v][k];
      if (newer) {
        std::vector<float> values(f.begin(), f.end());
        check(nc_put_vara_float(nc, ids[v], start.data(), count.data(), values.data()), "values");
      } else {
        std::vector<short> values;
        for (double x : f) values.push_back(static_cast<short>(std::lround((x - offset) / scale)));
        check(nc_put_vara_short(nc, ids[v], start.data(), count.data(), values.data()), "values");
      }
    }
    fields[v].clear();
  }
  check(nc_close(nc), path);
  return 0;
}
