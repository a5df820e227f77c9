#include "support/model_levels.h"

#include <netcdf.h>

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "support/data_time.h"
#include "support/grib_writer.h"

namespace testing_support {
namespace {

GribMessage message(const ModelLevelSet& set, const char* short_name, long level) {
  GribMessage m;
  m.edition = set.edition;
  m.short_name = short_name;
  m.level_type = "hybrid";
  m.level = level;
  m.pv = set.pv;
  m.date = set.date;
  m.time = set.time;
  m.mars_class = "od";
  m.bits_per_value = set.bits_per_value;
  m.grid = {set.ni, set.nj, set.lat_north, set.lat_north - (set.nj - 1) * set.step, set.lon_west,
            set.lon_west + (set.ni - 1) * set.step, false, false};
  return m;
}

}  // namespace

void write_model_level_grib(const ModelLevelSet& set, const std::string& path) {
  GribMessage lnsp = message(set, "lnsp", 1), z = message(set, "z", 1);
  for (int j = 0; j < set.nj; ++j) {
    for (int i = 0; i < set.ni; ++i) {
      lnsp.values.push_back(std::log(set.ps(i, j)));
      z.values.push_back(set.zs(i, j));
    }
  }
  append_grib(path, lnsp);
  append_grib(path, z);
  const std::pair<const char*, const std::function<double(int, double, int, int)>*> fields[] = {
      {"t", &set.t}, {"q", &set.q}, {"u", &set.u}, {"v", &set.v}};
  for (int k = 1; k <= set.nlev(); ++k) {
    if (std::find(set.leave_out.begin(), set.leave_out.end(), k) != set.leave_out.end()) continue;
    for (const auto& [name, value] : fields) {
      GribMessage m = message(set, name, k);
      for (int j = 0; j < set.nj; ++j) {
        for (int i = 0; i < set.ni; ++i) m.values.push_back((*value)(k, set.full(k, set.ps(i, j)), i, j));
      }
      append_grib(path, m);
    }
  }
}

std::vector<double> smooth_pv(int nlev) {
  std::vector<double> a(static_cast<size_t>(nlev) + 1), b(static_cast<size_t>(nlev) + 1);
  for (int k = 0; k <= nlev; ++k) {
    const double s = static_cast<double>(k) / nlev;  // 0 at the top, 1 at the ground
    const double p = 100000.0 * std::pow(s, 2.2);     // a reference pressure of the half level
    b[static_cast<size_t>(k)] = std::pow(s, 4.0);
    a[static_cast<size_t>(k)] = p * (1.0 - b[static_cast<size_t>(k)]);
  }
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

bool run_cdo_ml2pl(const std::string& dir, const std::string& grib, const std::vector<double>& levels_pa) {
  std::string list;
  for (double p : levels_pa) list += (list.empty() ? "" : ",") + std::to_string(static_cast<long long>(std::llround(p)));
  return run_command(dir, "EXTRAPOLATE=1 cdo -s -f nc4 -b F64 ml2pl," + list + " '" + grib + "' cdo_ml2pl.nc").status == 0;
}

std::vector<std::vector<double>> read_cdo_ml2pl(const std::string& dir, const std::string& name) {
  int nc = 0, var = 0, dims[4] = {};
  if (nc_open((dir + "/cdo_ml2pl.nc").c_str(), NC_NOWRITE, &nc) != NC_NOERR) return {};
  std::vector<std::vector<double>> values;
  if (nc_inq_varid(nc, name.c_str(), &var) == NC_NOERR && nc_inq_vardimid(nc, var, dims) == NC_NOERR) {
    size_t levels = 0, lat = 0, lon = 0;
    nc_inq_dimlen(nc, dims[1], &levels);
    nc_inq_dimlen(nc, dims[2], &lat);
    nc_inq_dimlen(nc, dims[3], &lon);
    for (size_t k = 0; k < levels; ++k) {
      std::vector<double> level(lat * lon);
      const size_t start[4] = {0, k, 0, 0}, count[4] = {1, 1, lat, lon};
      nc_get_vara_double(nc, var, start, count, level.data());
      values.push_back(level);
    }
  }
  nc_close(nc);
  return values;
}

}  // namespace testing_support
