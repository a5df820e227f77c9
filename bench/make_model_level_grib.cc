// make_model_level_grib: writes a data time on ECMWF's 137 model levels as
// GRIB 2 for the importer's benchmark, as the Data Store's "complete" ERA5
// and MARS deliver it: t, q, u, v on every level and lnsp and the surface z
// on level 1, each message with the L137 pv array, 16-bit simple packing,
// on a global regular grid stored north first (0.25 degree by default).
//
//   make_model_level_grib OUTPUT [--ni NI --nj NJ]

#include <eccodes.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "grib_setters.h"
#include "import/ecmwf_l137.h"

namespace {

constexpr const char* kProgram = "make_model_level_grib";
const bench::Setter set(kProgram);

[[noreturn]] void die(const std::string& what) { bench::die(kProgram, what); }

void check(int error, const char* key) { set.check(error, key); }

struct Grid {
  int ni, nj;
  double lat(int j) const { return 90.0 - 180.0 * j / (nj - 1); }
  double lon(int i) const { return 360.0 * i / ni; }
};

// A plausible surface: mountains where sin and cos agree, seas elsewhere.
double height(const Grid& g, int i, int j) {
  const double x = std::sin(3 * g.lon(i) * M_PI / 180) * std::cos(2 * g.lat(j) * M_PI / 180);
  return x > 0.3 ? 4000 * (x - 0.3) : 0.0;
}
double surface_pressure(const Grid& g, int i, int j) { return 101300.0 * std::exp(-height(g, i, j) / 8000.0); }

double value(const std::string& name, double p, const Grid& g, int i, int j) {
  const double c = std::cos(g.lat(j) * M_PI / 180), w = std::sin(2 * g.lon(i) * M_PI / 180);
  if (name == "t") return 200 + 90 * std::pow(p / 1e5, 0.29) * (0.8 + 0.2 * c) + 2 * w;
  if (name == "q") return 0.015 * std::pow(p / 1e5, 3.0) * c * c;
  if (name == "u") return 25 * c * std::sin(p / 20000.0) + 5 * w;
  return 4 * w * c;
}

codes_handle* message(const Grid& g, const char* name, long level) {
  codes_handle* h = codes_grib_handle_new_from_samples(nullptr, "GRIB2");
  if (h == nullptr) die("no GRIB sample");
  set(h, "centre", 98L);
  set(h, "setLocalDefinition", 1L);
  set(h, "localDefinitionNumber", 1L);
  set(h, "marsClass", "ea");
  set(h, "gridType", "regular_ll");
  set(h, "typeOfLevel", "hybrid");
  set(h, "shortName", name);
  set(h, "level", level);
  set(h, "PVPresent", 1L);
  const i2m::HybridCoefficients& pv = i2m::ecmwf_l137();
  check(codes_set_double_array(h, "pv", pv.data(), pv.size()), "pv");
  set(h, "dataDate", 20240101L);
  set(h, "dataTime", 0L);
  set(h, "Ni", static_cast<long>(g.ni));
  set(h, "Nj", static_cast<long>(g.nj));
  set(h, "latitudeOfFirstGridPointInDegrees", 90.0);
  set(h, "latitudeOfLastGridPointInDegrees", -90.0);
  set(h, "longitudeOfFirstGridPointInDegrees", 0.0);
  set(h, "longitudeOfLastGridPointInDegrees", 360.0 - 360.0 / g.ni);
  set(h, "iDirectionIncrementInDegrees", 360.0 / g.ni);
  set(h, "jDirectionIncrementInDegrees", 180.0 / (g.nj - 1));
  set(h, "bitsPerValue", 16L);
  return h;
}

void write(codes_handle* h, const std::vector<double>& values, std::FILE* out, const std::string& path) {
  check(codes_set_double_array(h, "values", values.data(), values.size()), "values");
  const void* bytes = nullptr;
  size_t length = 0;
  check(codes_get_message(h, &bytes, &length), "message");
  if (std::fwrite(bytes, 1, length, out) != length) die(path + ": cannot write");
  codes_handle_delete(h);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) die("usage: make_model_level_grib OUTPUT [--ni NI --nj NJ]");
  const std::string path = argv[1];
  Grid g{1440, 721};
  for (int a = 2; a + 1 < argc; a += 2) {
    const std::string option = argv[a];
    if (option == "--ni") g.ni = std::atoi(argv[a + 1]);
    else if (option == "--nj") g.nj = std::atoi(argv[a + 1]);
    else die("unknown option " + option);
  }
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) die(path + ": cannot create");
  const auto points = static_cast<size_t>(g.ni) * static_cast<size_t>(g.nj);
  std::vector<double> lnsp(points), z(points), ps(points), values(points);
  for (int j = 0; j < g.nj; ++j) {
    for (int i = 0; i < g.ni; ++i) {
      const size_t p = static_cast<size_t>(j) * static_cast<size_t>(g.ni) + static_cast<size_t>(i);
      ps[p] = surface_pressure(g, i, j);
      lnsp[p] = std::log(ps[p]);
      z[p] = 9.80665 * height(g, i, j);
    }
  }
  write(message(g, "lnsp", 1), lnsp, out, path);
  write(message(g, "z", 1), z, out, path);
  const i2m::HybridCoefficients& pv = i2m::ecmwf_l137();
  for (long k = 1; k <= i2m::kL137Levels; ++k) {
    for (const char* name : {"t", "q", "u", "v"}) {
      for (int j = 0; j < g.nj; ++j) {
        for (int i = 0; i < g.ni; ++i) {
          const size_t p = static_cast<size_t>(j) * static_cast<size_t>(g.ni) + static_cast<size_t>(i);
          const auto half = [&](long n) { return pv[static_cast<size_t>(n)] + pv[static_cast<size_t>(n) + 138] * ps[p]; };
          values[p] = value(name, (half(k - 1) + half(k)) / 2, g, i, j);
        }
      }
      write(message(g, name, k), values, out, path);
    }
  }
  if (std::fclose(out) != 0) die(path + ": cannot write");
  return 0;
}
