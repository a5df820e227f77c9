// make_grid_grib: writes the ERA5-sized data time of the importer's
// benchmark (37 pressure levels of z, r, q, t, u, v and the 12 single-level
// fields, 234 messages) as GRIB 2 with 16-bit simple packing on one of the
// grids ECMWF's data live on, or on the regular 0.25-degree grid, each
// value from the same function of the point's latitude and longitude:
//
//   make_grid_grib OUTPUT n320     reduced Gaussian N320 (ERA5's own, 542,080 points)
//   make_grid_grib OUTPUT o1280    octahedral O1280 (IFS, 6,599,680 points)
//   make_grid_grib OUTPUT ll0.25   regular 1440 x 721

#include <eccodes.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "era5_fields.h"
#include "grib_setters.h"

namespace {

constexpr const char* kProgram = "make_grid_grib";
const bench::Setter set(kProgram);

[[noreturn]] void die(const std::string& what) { bench::die(kProgram, what); }

void check(int error, const char* key) { set.check(error, key); }

// A handle on the grid asked for, with values of its size.
codes_handle* grid_handle(const std::string& grid) {
  codes_handle* h = nullptr;
  if (grid == "n320") {
    h = codes_grib_handle_new_from_samples(nullptr, "reduced_gg_pl_320_grib2");
  } else if (grid == "o1280") {
    h = codes_grib_handle_new_from_samples(nullptr, "reduced_gg_pl_1280_grib2");
    std::vector<long> pl;
    for (long i = 1; i <= 1280; ++i) pl.push_back(20 + 4 * (i - 1));
    for (long i = 1280; i >= 1; --i) pl.push_back(20 + 4 * (i - 1));
    check(codes_set_long_array(h, "pl", pl.data(), pl.size()), "pl");
    set(h, "numberOfDataPoints", 6599680L);
    set(h, "longitudeOfLastGridPointInDegrees", 360.0 - 360.0 / 5136);
  } else if (grid == "ll0.25") {
    h = codes_grib_handle_new_from_samples(nullptr, "regular_ll_pl_grib2");
    set(h, "Ni", 1440L);
    set(h, "Nj", 721L);
    set(h, "numberOfDataPoints", 1440L * 721L);
    set(h, "latitudeOfFirstGridPointInDegrees", 90.0);
    set(h, "latitudeOfLastGridPointInDegrees", -90.0);
    set(h, "longitudeOfFirstGridPointInDegrees", 0.0);
    set(h, "longitudeOfLastGridPointInDegrees", 359.75);
    set(h, "iDirectionIncrementInDegrees", 0.25);
    set(h, "jDirectionIncrementInDegrees", 0.25);
  } else {
    die("unknown grid " + grid + " (n320, o1280 or ll0.25)");
  }
  if (h == nullptr) die("no sample for " + grid);
  long points = 0;
  check(codes_get_long(h, "numberOfDataPoints", &points), "numberOfDataPoints");
  const std::vector<double> zeros(static_cast<size_t>(points));
  check(codes_set_double_array(h, "values", zeros.data(), zeros.size()), "values");
  return h;
}

void set_field(codes_handle* h, int variable, long level) {
  const Era5BenchVariable& var = kEra5BenchVariables[variable];
  set(h, "centre", 98L);
  set(h, "setLocalDefinition", 1L);
  set(h, "localDefinitionNumber", 1L);
  set(h, "marsClass", "ea");
  set(h, "dataDate", 20240101L);
  set(h, "dataTime", 0L);
  set(h, "paramId", var.param_id);
  set(h, "typeOfLevel", var.param_id == 151 ? "meanSea" : var.level_type);
  if (var.upper_air) set(h, "level", level);
  if (var.top_cm + var.bottom_cm > 0) {
    set(h, "scaleFactorOfFirstFixedSurface", 2L);
    set(h, "scaledValueOfFirstFixedSurface", var.top_cm);
    set(h, "scaleFactorOfSecondFixedSurface", 2L);
    set(h, "scaledValueOfSecondFixedSurface", var.bottom_cm);
  }
  set(h, "bitsPerValue", 16L);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) die("usage: make_grid_grib OUTPUT n320|o1280|ll0.25");
  codes_handle* grid = grid_handle(argv[2]);
  size_t n = 0;
  check(codes_get_size(grid, "values", &n), "values");
  std::vector<double> lats(n), lons(n), values(n);
  check(codes_grib_get_data(grid, lats.data(), lons.data(), values.data()), "points");
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) die(std::string(argv[1]) + ": cannot create");
  for (int v = 0; v < kEra5BenchVariableCount; ++v) {
    for (long level : kEra5BenchVariables[v].upper_air ? era5_bench_levels() : std::vector<long>{0}) {
      codes_handle* h = codes_handle_clone(grid);
      set_field(h, v, level);
      BenchNoise noise(v, level);
      for (size_t p = 0; p < n; ++p) values[p] = era5_point_value(v, level, lats[p], lons[p], noise.next());
      check(codes_set_double_array(h, "values", values.data(), n), "values");
      const void* bytes = nullptr;
      size_t length = 0;
      check(codes_get_message(h, &bytes, &length), "message");
      if (std::fwrite(bytes, 1, length, out) != length) die(std::string(argv[1]) + ": cannot write");
      codes_handle_delete(h);
    }
  }
  codes_handle_delete(grid);
  if (std::fclose(out) != 0) die(std::string(argv[1]) + ": cannot write");
  return 0;
}
