// The importer on Gaussian and reduced grids, and --grid on any grid:
// fields whose bilinear interpolant is known (linear in latitude, in
// longitude within a sub-area, constants), points that coincide with source
// points, the caps poleward of a Gaussian grid's outermost rows, and CDO's
// remapbil, which computes the same weights between the outermost rows.

#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/era5_like.h"
#include "support/gaussian_set.h"

namespace {

using namespace testing_support;

RunResult import(const TempDir& dir, const std::string& arguments) { return run_importer(dir.path(), arguments); }

// The grid written, from the control file: im jm and la1 lo1 di dj in degrees.
struct Written {
  int im = 0, jm = 0, lm = 0;
  double la1 = 0, lo1 = 0, di = 0, dj = 0;
  double lat(int j) const { return la1 + j * dj; }
  double lon(int i) const { return lo1 + i * di; }
};

Written written(const TempDir& dir, const std::string& folder) {
  Written w;
  std::vector<double> numbers;
  const std::string text = read_file(dir.file(folder + "/InputModelInf.txt"));
  const size_t line2 = text.find('\n') + 1;
  std::sscanf(text.c_str() + line2, "%d %d %d", &w.im, &w.jm, &w.lm);
  const char* at = text.c_str() + text.find('\n', line2) + 1;
  for (int n = 0; n < 7; ++n) {
    numbers.push_back(std::strtod(at, nullptr));
    at = std::strchr(at, '\n') + 1;
  }
  // grid type, la1, lo1, la2, lo2, di, dj
  w.la1 = numbers[1] / 1000.0;
  w.lo1 = numbers[2] / 1000.0;
  w.di = numbers[5] / 1000.0;
  w.dj = numbers[6] / 1000.0;
  return w;
}

float record_value(const std::vector<unsigned char>& bytes, size_t points, size_t r, size_t p) {
  float v;
  std::memcpy(&v, &bytes[(r - 1) * (4 * points + 8) + 4 + 4 * p], 4);
  return v;
}

// The record (from 1) of variable v at level index k of kGaussianSetLevels,
// levels written from the highest pressure down.
size_t record_of(int v, size_t k, size_t lm) { return era5_variable(v).upper_air ? v * lm + k + 1 : 6 * lm + (v - kLsm) + 1; }

// Values of every variable linear in latitude (and, when `slope_lon` is
// not 0, in longitude): each record's expected value at a point.
double linear(int v, int k, double lat, double lon, double slope_lon) {
  const double base[] = {5000, 50, 0.004, 250, 3, -2, 0.75, 100000, 95000, 3000, 280, 0.25,
                         281, 0.26, 282, 0.27, 283, 0.28};
  const double scale = v == kQ || v == kLsm || v >= kStl1 ? 0.001 : 1.0;
  return base[v] * (1 + 0.01 * k) + scale * (0.3 * lat + slope_lon * lon);
}

double outermost_gaussian_latitude(int n) {
  // The first root of the Legendre polynomial of degree 2N, from its
  // asymptotic form refined by Newton's method.
  const int degree = 2 * n;
  double x = std::cos(M_PI * (1 - 0.25) / (degree + 0.5));
  for (int it = 0; it < 50; ++it) {
    double p0 = 1, p1 = x;
    for (int l = 2; l <= degree; ++l) {
      const double p2 = ((2 * l - 1) * x * p1 - (l - 1) * p0) / l;
      p0 = p1;
      p1 = p2;
    }
    const double derivative = degree * (x * p1 - p0) / (x * x - 1);
    x -= p1 / derivative;
  }
  return std::asin(x) * 180 / M_PI;
}

TEST(ImportGrids, GaussianGridsGiveFieldsLinearInLatitudeOnTheGridAskedForPolesIncluded) {
  struct Case {
    const char* name;
    SampleGrid grid;
    int n;
    const char* options;
  };
  const Case cases[] = {
      {"reduced Gaussian N32", {"reduced_gg_pl_32_grib2", {}, 0, {}, {}}, 32, "--grid 2.5"},
      {"octahedral O24",
       {"reduced_gg_pl_grib2", octahedral_pl(24), 24, {},
        {{"latitudeOfFirstGridPointInDegrees", outermost_gaussian_latitude(24)},
         {"latitudeOfLastGridPointInDegrees", -outermost_gaussian_latitude(24)},
         {"longitudeOfLastGridPointInDegrees", 360.0 - 360.0 / 112}}},
       24, "--grid 5/2.5"},
      {"regular Gaussian N32", {"regular_gg_pl_grib2", {}, 0, {}, {}}, 32, "--grid 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_on_grid(c.grid, [](int v, int k, double lat, double lon) { return linear(v, k, lat, lon, 0); }, dir.file("gg.grib"));
    const RunResult r = import(dir, std::string("--out out ") + c.options + " gg.grib");
    ASSERT_EQ(r.status, 0) << r.err;
    const Written w = written(dir, "out");
    EXPECT_DOUBLE_EQ(w.lat(0), -90) << r.out;
    EXPECT_DOUBLE_EQ(w.lat(w.jm - 1), 90);
    EXPECT_DOUBLE_EQ(w.lon(0), 0);
    EXPECT_NEAR(w.lon(w.im - 1) + w.di, 360, 1e-9);
    const std::vector<unsigned char> bytes = file_bytes(dir.file("out/ecmf_2024010100.bin"));
    const double outer = outermost_gaussian_latitude(c.n);
    const auto points = static_cast<size_t>(w.im * w.jm);
    for (int v = 0; v < kEra5Variables; ++v) {
      for (size_t k = 0; k < (era5_variable(v).upper_air ? 2u : 1u); ++k) {
        for (int j = 0; j < w.jm; ++j) {
          // Poleward of the outermost rows: that row's value.
          const double lat = std::clamp(w.lat(j), -outer, outer);
          const double expected = linear(v, static_cast<int>(k), lat, 0, 0) / era5_variable(v).divisor;
          for (int i = 0; i < w.im; ++i) {
            const float got = record_value(bytes, points, record_of(v, k, 2), static_cast<size_t>(j * w.im + i));
            ASSERT_NEAR(got, expected, std::fabs(expected) * 2e-6 + 1e-6) << "variable " << v << " level " << k << " i " << i << " j " << j;
          }
        }
      }
    }
  }
}

// A sub-area: linear in latitude and longitude inside it, each bracket of
// source points within one row's span.
TEST(ImportGrids, ASubAreaOfAGaussianGridIsLinearInBothDirections) {
  TempDir dir;
  write_on_grid({"reduced_gg_pl_32_grib2", {}, 0, {}, {}},
                [](int v, int k, double lat, double lon) { return linear(v, k, lat, lon, 0.05); }, dir.file("gg.grib"));
  const RunResult r = import(dir, "--out out --grid 1.5/1 --area 60/10.5/-40/100.5 gg.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  const Written w = written(dir, "out");
  EXPECT_EQ(w.im, 61);  // 10.5 to 100.5
  EXPECT_EQ(w.jm, 101);
  const std::vector<unsigned char> bytes = file_bytes(dir.file("out/ecmf_2024010100.bin"));
  const auto points = static_cast<size_t>(w.im * w.jm);
  for (int v : {kT, kMsl, kStl2}) {
    for (int j = 0; j < w.jm; ++j) {
      for (int i = 0; i < w.im; ++i) {
        const double expected = linear(v, 0, w.lat(j), w.lon(i), 0.05) / era5_variable(v).divisor;
        const float got = record_value(bytes, points, record_of(v, 0, 2), static_cast<size_t>(j * w.im + i));
        ASSERT_NEAR(got, expected, std::fabs(expected) * 2e-6) << v << " " << i << " " << j;
      }
    }
  }
}

// --grid on a regular latitude-longitude source whose points include every
// point written: the values are the source's own, bit for bit.
TEST(ImportGrids, PointsOnSourcePointsTakeTheirValuesExactly) {
  TempDir dir;
  const SampleGrid one_degree{"regular_ll_pl_grib2", {}, 0,
                              {{"Ni", 360}, {"Nj", 181}, {"numberOfDataPoints", 360 * 181}, {"iScansNegatively", 0}, {"jScansPositively", 0}},
                              {{"latitudeOfFirstGridPointInDegrees", 90.0}, {"latitudeOfLastGridPointInDegrees", -90.0},
                               {"longitudeOfFirstGridPointInDegrees", 0.0}, {"longitudeOfLastGridPointInDegrees", 359.0},
                               {"iDirectionIncrementInDegrees", 1.0}, {"jDirectionIncrementInDegrees", 1.0}}};
  auto wavy = [](int v, int k, double lat, double lon) {
    return linear(v, k, lat, 0, 0) * (1 + 0.01 * std::sin(lon * 0.3) * std::cos(lat * 0.2));
  };
  write_on_grid(one_degree, wavy, dir.file("ll.grib"));
  const RunResult whole_import = import(dir, "--out whole ll.grib");
  ASSERT_EQ(whole_import.status, 0) << whole_import.err;
  const RunResult r = import(dir, "--out two --grid 2 ll.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  const Written w = written(dir, "two");
  ASSERT_EQ(w.im, 180);
  ASSERT_EQ(w.jm, 91);
  const std::vector<unsigned char> whole = file_bytes(dir.file("whole/ecmf_2024010100.bin"));
  const std::vector<unsigned char> two = file_bytes(dir.file("two/ecmf_2024010100.bin"));
  for (size_t rec = 1; rec <= 6 * 2 + 12; ++rec) {
    for (int j = 0; j < w.jm; ++j) {
      for (int i = 0; i < w.im; ++i) {
        // Row 2j and column 2i of the whole 1-degree grid (rows from the south).
        const float source = record_value(whole, 360 * 181, rec, static_cast<size_t>(2 * j * 360 + 2 * i));
        ASSERT_TRUE(same_bits(record_value(two, 180 * 91, rec, static_cast<size_t>(j * 180 + i)), source)) << rec << " " << i << " " << j;
      }
    }
  }
}

// CDO's remapbil computes the same weights between the outermost rows of a
// regular Gaussian grid, the wrap at 0/360 included.
TEST(ImportGrids, RegularGaussianToTwoDegreesAgreesWithCdoRemapbil) {
  TempDir dir;
  auto smooth = [](int v, int k, double lat, double lon) {
    return linear(v, k, lat, 0, 0) * (1 + 0.02 * std::cos(lat * M_PI / 90) + 0.01 * std::sin(2 * lon * M_PI / 180));
  };
  write_on_grid({"regular_gg_pl_grib2", {}, 0, {}, {}}, smooth, dir.file("gg.grib"), [](int v) { return v == kT; });
  write_on_grid({"regular_gg_pl_grib2", {}, 0, {}, {}}, smooth, dir.file("all.grib"));
  RunResult r = import(dir, "--out out --grid 2 all.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  r = run_command(dir.path(), "cdo -s -f nc4 -b F64 remapbil,r180x91 gg.grib cdo.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  int nc = 0, var = 0, lat_var = 0;
  ASSERT_EQ(nc_open(dir.file("cdo.nc").c_str(), NC_NOWRITE, &nc), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(nc, "t", &var), NC_NOERR);
  ASSERT_EQ(nc_inq_varid(nc, "lat", &lat_var), NC_NOERR);
  std::vector<double> cdo(2 * 91 * 180), lats(91);
  ASSERT_EQ(nc_get_var_double(nc, var, cdo.data()), NC_NOERR);  // levels 1000, 500 hPa
  ASSERT_EQ(nc_get_var_double(nc, lat_var, lats.data()), NC_NOERR);
  nc_close(nc);
  const std::vector<unsigned char> bytes = file_bytes(dir.file("out/ecmf_2024010100.bin"));
  const double outer = outermost_gaussian_latitude(32);
  size_t compared = 0;
  for (size_t k = 0; k < 2; ++k) {
    for (size_t jc = 0; jc < 91; ++jc) {
      if (std::fabs(lats[jc]) > outer) continue;  // in the caps CDO interpolates toward a value at the pole
      const auto j = static_cast<size_t>(std::lround((lats[jc] + 90) / 2));
      for (size_t i = 0; i < 180; ++i) {
        const float expected = static_cast<float>(cdo[(k * 91 + jc) * 180 + i]);
        const float got = record_value(bytes, 180 * 91, 3 * 2 + k + 1, j * 180 + i);
        ASSERT_NEAR(got, expected, std::fabs(expected) * 3e-7) << k << " " << jc << " " << i;
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 2u * 87 * 180);
}

TEST(ImportGrids, RefusalsNameTheGridAndWhatToDo) {
  struct Case {
    const char* name;
    SampleGrid grid;
    const char* options;
    const char* diagnostic;
  };
  const Case cases[] = {
      {"Gaussian without --grid", {"reduced_gg_pl_32_grib2", {}, 0, {}, {}}, "",
       "import_data_times: g.grib: fields on a reduced Gaussian grid (N32, about 2.79 degrees): give the grid to write "
       "with --grid, for instance --grid 2.5\n"},
      {"an area beyond a regional source", {"regular_ll_sfc_grib2", {}, 0, {}, {}}, "--grid 1 --area 70/0/0/30",
       "import_data_times: g.grib: --area (70/0/0/30) reaches beyond its points (16 x 31 points, 2 x 2 degrees, "
       "latitudes 0 to 60, longitudes 0 to 30)\n"},
      {"fewer than 2 x 2 points", {"regular_gg_pl_grib2", {}, 0, {}, {}}, "--grid 10 --area 5/0/-4/30",
       "import_data_times: --area: holds 4 x 1 points of the grid asked for; at least 2 x 2 are needed\n"},
      {"a polar stereographic grid", {"polar_stereographic_pl_grib2", {}, 0, {}, {}}, "--grid 1",
       "import_data_times: g.grib: message 1: grid type polar_stereographic: only latitude-longitude and Gaussian grids "
       "can be imported\n"},
      {"a rotated grid", {"rotated_ll_pl_grib2", {}, 0, {}, {}}, "--grid 1",
       "import_data_times: g.grib: message 1: grid type rotated_ll: only latitude-longitude and Gaussian grids can be "
       "imported\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_on_grid(c.grid, [](int v, int k, double lat, double lon) { return linear(v, k, lat, lon, 0); }, dir.file("g.grib"));
    const RunResult r = import(dir, std::string("--out out ") + c.options + " g.grib");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, c.diagnostic);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/InputModelInf.txt")));
  }
}

// Pressure levels on one grid, surface fields on another: each mapped onto
// the one grid written.
TEST(ImportGrids, EachSourceGridIsMappedOntoTheOneGridWritten) {
  TempDir dir;
  auto value = [](int v, int k, double lat, double lon) { return linear(v, k, lat, lon, 0); };
  write_on_grid({"reduced_gg_pl_32_grib2", {}, 0, {}, {}}, value, dir.file("pl.grib"),
                [](int v) { return era5_variable(v).upper_air; });
  write_on_grid({"regular_gg_pl_grib2", {}, 0, {}, {}}, value, dir.file("sfc.grib"),
                [](int v) { return !era5_variable(v).upper_air; });
  const RunResult r = import(dir, "--out out --grid 2.5 pl.grib sfc.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("grid of the sources: reduced Gaussian N32"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("grid of the sources: regular Gaussian N32"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("grid written: 144 x 73 points, la1 -90000 lo1 0 la2 90000 lo2 357500 di 2500 dj 2500\n"),
            std::string::npos) << r.out;
}

}  // namespace
