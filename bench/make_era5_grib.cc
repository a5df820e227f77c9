// make_era5_grib: writes an ERA5-sized data set as GRIB for the importer's
// benchmark: 37 pressure levels of z, r, q, t, u, v and the 12 single-level
// fields ERA5 delivers (lsm, msl, sp, surface z, stl1..4, swvl1..4), 234
// messages per data time, on a 0.25-degree global grid stored north first.
//
//   make_era5_grib OUTPUT EDITION [--times N] [--ni NI --nj NJ]
//
// Edition 1 uses 16-bit simple packing (what the Data Store delivers),
// edition 2 complex packing with spatial differencing (what GFS uses).
// Later data times reuse the packed values of the first with another date.

#include <eccodes.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "era5_fields.h"
#include "grib_setters.h"

namespace {

constexpr const char* kProgram = "make_era5_grib";
const bench::Setter set(kProgram);

[[noreturn]] void die(const std::string& what) { bench::die(kProgram, what); }

void check(int error, const char* key) { set.check(error, key); }

codes_handle* make_message(int edition, int variable, long level, int ni, int nj) {
  const Era5BenchVariable& var = kEra5BenchVariables[variable];
  codes_handle* h = codes_grib_handle_new_from_samples(nullptr, edition == 1 ? "GRIB1" : "GRIB2");
  if (h == nullptr) die("no GRIB sample");
  set(h, "centre", 98L);
  if (edition == 2) {
    set(h, "setLocalDefinition", 1L);
    set(h, "localDefinitionNumber", 1L);
  }
  set(h, "marsClass", "ea");
  set(h, "gridType", "regular_ll");
  set(h, "paramId", var.param_id);
  // GRIB2 has no mean sea-level pressure on "surface": that would be sp.
  set(h, "typeOfLevel", edition == 2 && var.param_id == 151 ? "meanSea" : var.level_type);
  if (var.upper_air) set(h, "level", level);
  if (var.top_cm + var.bottom_cm > 0) {
    if (edition == 1) {
      set(h, "topLevel", var.top_cm);
      set(h, "bottomLevel", var.bottom_cm);
    } else {
      set(h, "scaleFactorOfFirstFixedSurface", 2L);
      set(h, "scaledValueOfFirstFixedSurface", var.top_cm);
      set(h, "scaleFactorOfSecondFixedSurface", 2L);
      set(h, "scaledValueOfSecondFixedSurface", var.bottom_cm);
    }
  }
  set(h, "Ni", static_cast<long>(ni));
  set(h, "Nj", static_cast<long>(nj));
  set(h, "latitudeOfFirstGridPointInDegrees", 90.0);
  set(h, "latitudeOfLastGridPointInDegrees", -90.0);
  set(h, "longitudeOfFirstGridPointInDegrees", 0.0);
  set(h, "longitudeOfLastGridPointInDegrees", 360.0 - 360.0 / ni);
  set(h, "iDirectionIncrementInDegrees", 360.0 / ni);
  set(h, "jDirectionIncrementInDegrees", 180.0 / (nj - 1));
  set(h, "bitsPerValue", 16L);
  const std::vector<double> values = era5_field_values(variable, level, ni, nj);
  check(codes_set_double_array(h, "values", values.data(), values.size()), "values");
  if (edition == 2) set(h, "packingType", "grid_complex_spatial_differencing");
  return h;
}

void write_message(codes_handle* h, long date, long time, std::FILE* out, const std::string& path) {
  set(h, "dataDate", date);
  set(h, "dataTime", time);
  const void* message = nullptr;
  size_t length = 0;
  check(codes_get_message(h, &message, &length), "message");
  if (std::fwrite(message, 1, length, out) != length) die(path + ": cannot write");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) die("usage: make_era5_grib OUTPUT EDITION [--times N] [--ni NI --nj NJ]");
  const std::string path = argv[1];
  const int edition = std::atoi(argv[2]);
  int times = 1, ni = 1440, nj = 721;
  for (int a = 3; a + 1 < argc; a += 2) {
    const std::string option = argv[a];
    const int value = std::atoi(argv[a + 1]);
    if (option == "--times") times = value;
    else if (option == "--ni") ni = value;
    else if (option == "--nj") nj = value;
    else die("unknown option " + option);
  }
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) die(path + ": cannot create");
  std::vector<codes_handle*> messages;
  for (int v = 0; v < 18; ++v) {
    for (long level : kEra5BenchVariables[v].upper_air ? era5_bench_levels() : std::vector<long>{0}) {
      messages.push_back(make_message(edition, v, level, ni, nj));
    }
  }
  for (int t = 0; t < times; ++t) {
    // Data times six hours apart from 2024-01-01 00 UTC.
    const long day = 1 + t / 4, hour = 6 * (t % 4);
    for (codes_handle* h : messages) write_message(h, 20240100 + day, hour * 100, out, path);
  }
  for (codes_handle* h : messages) codes_handle_delete(h);
  if (std::fclose(out) != 0) die(path + ": cannot write");
  return 0;
}
