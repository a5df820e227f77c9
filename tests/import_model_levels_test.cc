// The importer on model levels: GRIB made with the ecCodes API and a real
// IFS forecast, interpolated to pressure levels. CDO's ml2pl (with
// EXTRAPOLATE=1) applies the same rules to temperature, humidity and winds
// and is their reference; the geopotential, which CDO does not integrate,
// is checked on an isothermal atmosphere, where it is known exactly on the
// half levels.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/model_levels.h"

namespace {

using namespace testing_support;

constexpr double kRd = 287.06, kG = 9.80665;

const std::string kForecast = std::string(SOURCE_DIR) + "/tests/data/realdata/forecast_ml.grib";

RunResult import(const TempDir& dir, const std::string& arguments) { return run_importer(dir.path(), arguments); }

// Value p (from 0, rows south first) of record r (from 1) of a record file.
float record_value(const std::vector<unsigned char>& bytes, size_t points, size_t r, size_t p) {
  float v;
  std::memcpy(&v, &bytes[(r - 1) * (4 * points + 8) + 4 + 4 * p], 4);
  return v;
}

// How many floats apart a and b are (both finite, of one sign).
int64_t ulps_apart(float a, float b) {
  int32_t ia, ib;
  std::memcpy(&ia, &a, 4);
  std::memcpy(&ib, &b, 4);
  return std::llabs(int64_t{ia} - ib);
}

const std::vector<double> kEra5Pa = {100000, 97500, 95000, 92500, 90000, 87500, 85000, 82500, 80000, 77500,
                                     75000,  70000, 65000, 60000, 55000, 50000, 45000, 40000, 35000, 30000,
                                     25000,  22500, 20000, 17500, 15000, 12500, 10000, 7000,  5000,  3000,
                                     2000,   1000,  700,   500,   300,   200,   100};

// Temperature, specific humidity and the winds of an import (records 2 lm +
// 1 onward, levels from 1000 hPa up) against CDO's, within `ulps`.
void expect_as_cdo(const TempDir& dir, const std::string& grib, const std::string& bin, int ni, int nj,
                   const std::vector<double>& levels_pa, int64_t ulps) {
  const std::vector<unsigned char> bytes = file_bytes(bin);
  const auto points = static_cast<size_t>(ni * nj), lm = levels_pa.size();
  ASSERT_EQ(bytes.size(), (6 * lm + 12) * (4 * points + 8));
  ASSERT_TRUE(run_cdo_ml2pl(dir.path(), grib, levels_pa)) << "cdo ml2pl failed";
  const std::pair<const char*, size_t> fields[] = {{"q", 2}, {"t", 3}, {"u", 4}, {"v", 5}};
  for (const auto& [name, field] : fields) {
    SCOPED_TRACE(name);
    const std::vector<std::vector<double>> cdo = read_cdo_ml2pl(dir.path(), name);
    ASSERT_EQ(cdo.size(), lm) << "cdo ml2pl failed";
    for (size_t k = 0; k < lm; ++k) {
      for (int j = 0; j < nj; ++j) {
        for (int i = 0; i < ni; ++i) {
          // CDO keeps the rows north first, the record south first.
          const float expected = static_cast<float>(cdo[k][static_cast<size_t>((nj - 1 - j) * ni + i)]);
          const float got = record_value(bytes, points, field * lm + k + 1, static_cast<size_t>(j * ni + i));
          ASSERT_LE(ulps_apart(got, expected), ulps) << "level " << levels_pa[k] << " Pa, i " << i << " j " << j << ": "
                                                     << got << " against " << expected;
        }
      }
    }
  }
}

ModelLevelSet varied_set(int nlev, int edition) {
  ModelLevelSet s;
  s.pv = smooth_pv(nlev);
  s.edition = edition;
  // Mountains in the south-east: surface pressures from 1030 down to 700 hPa.
  s.zs = [](int i, int j) { return 2400.0 * i * j; };
  s.ps = [](int i, int j) { return 103000.0 - 2300.0 * i * j - 150.0 * i; };
  s.t = [](int k, double p, int i, int j) { return 190.0 + 95.0 * std::pow(p / 1e5, 0.29) + 0.7 * i - 1.1 * j + 0.05 * (k % 3); };
  s.q = [](int, double p, int i, int) { return 0.012 * std::pow(p / 1e5, 3.0) * (1.0 + 0.1 * i); };
  s.u = [](int k, double p, int i, int j) { return 30.0 * std::sin(p / 20000.0) + i - j + 0.2 * (k % 5); };
  s.v = [](int k, double p, int i, int j) { return -8.0 + 12.0 * std::cos(p / 30000.0) + 0.5 * i * j + 0.1 * k; };
  return s;
}

TEST(ModelLevels, TemperatureHumidityAndWindsAgreeWithCdo) {
  struct Case {
    const char* name;
    int nlev, edition;
    std::string levels;             // --levels, or "" for ERA5's 37
    std::vector<double> levels_pa;  // the same, from the ground up
  };
  const Case cases[] = {
      {"GRIB2, 90 levels, ERA5's 37 pressure levels", 90, 2, "", kEra5Pa},
      {"GRIB1, 60 levels, levels of the user's choice", 60, 1, "1000,975,950,925,900,850,700,500,250,100,50",
       {100000, 97500, 95000, 92500, 90000, 85000, 70000, 50000, 25000, 10000, 5000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_model_level_grib(varied_set(c.nlev, c.edition), dir.file("ml.grib"));
    const RunResult r =
        import(dir, "--allow-missing-surface --out out " + (c.levels.empty() ? "" : "--levels " + c.levels) + " ml.grib");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("upper air interpolated from model levels "), std::string::npos) << r.out;
    // Below the lowest model level CDO's temperature is its own rounding, a
    // float ulp or two apart.
    expect_as_cdo(dir, dir.file("ml.grib"), dir.file("out/ecmf_2024010100.bin"), 6, 4, c.levels_pa, 2);
  }
}

// T = 250 K and q = 0.005 everywhere: phi = zs + Rd Tv ln(ps / p) on every
// half level (Tv = T (1 + 0.609133 q)), linear in p between them; below the
// ground ECMWF's rule.
TEST(ModelLevels, GeopotentialOfAnIsothermalAtmosphereFollowsItsHalfLevels) {
  TempDir dir;
  ModelLevelSet s;
  s.pv = smooth_pv(60);
  constexpr double kT = 250, kZs = 1000;
  const double q = static_cast<double>(0.005f);  // a constant field holds its value as a float
  const double tv = kT * (1 + 0.609133 * q);
  const double ps = std::exp(11.5);  // lnsp 11.5 is a float: stored exactly
  s.ps = [&](int, int) { return ps; };
  s.zs = [](int, int) { return kZs; };
  s.t = [](int, double, int, int) { return kT; };
  s.q = [&](int, double, int, int) { return q; };
  s.u = s.v = [](int, double, int, int) { return 0.0; };
  write_model_level_grib(s, dir.file("ml.grib"));
  const double p_lowest = s.full(60, ps);
  const double between = std::round((p_lowest + ps) / 2.0);  // between the lowest full level and the ground
  const std::vector<double> levels_pa = {100000, between, 90000, 70000, 50000, 30000, 10000, 1000};
  std::string list;
  for (double p : levels_pa) list += (list.empty() ? "" : ",") + std::to_string(p / 100.0);
  const RunResult r = import(dir, "--allow-missing-surface --out out --levels " + list + " ml.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<unsigned char> bytes = file_bytes(dir.file("out/ecmf_2024010100.bin"));
  const size_t lm = levels_pa.size(), points = 24;

  // Below the ground (1000 hPa): T* from the lowest full level, raised
  // half-way to 255 K; T0 from it with the standard lapse rate.
  const double t_star = kT * (1 + 0.0065 * (kRd / kG) * (ps / p_lowest - 1));
  const double t_prime = t_star < 255 ? (255 + t_star) / 2 : t_star;
  const double t0 = std::min(t_prime + 0.0065 * kZs / kG, 290.5);
  const double a = kRd * (t0 - t_prime) / kZs, y = std::log(100000 / ps);
  const double phi_below = kZs - kRd * t_prime * y * (1 + a * y / 2 + (a * y) * (a * y) / 6);
  for (size_t k = 0; k < lm; ++k) {
    SCOPED_TRACE(levels_pa[k]);
    double phi = phi_below;
    if (levels_pa[k] <= ps) {
      int n = 60;  // the half levels n - 1/2 and n + 1/2 that bracket P
      while (s.half(n - 1, ps) > levels_pa[k]) --n;
      const double p0 = s.half(n, ps), p1 = s.half(n - 1, ps);
      const double phi0 = kZs + kRd * tv * std::log(ps / p0), phi1 = kZs + kRd * tv * std::log(ps / p1);
      phi = phi0 + (phi1 - phi0) * (p0 - levels_pa[k]) / (p0 - p1);
    }
    for (size_t p = 0; p < points; ++p) {
      const float got = record_value(bytes, points, k + 1, p);
      EXPECT_LE(ulps_apart(got, static_cast<float>(phi / kG)), 1) << got << " " << phi / kG;
    }
    // Temperature: 250 K down to the lowest full level; between it and the
    // ground linear in p towards T' at the surface.
    const double t = levels_pa[k] <= p_lowest ? kT
                     : levels_pa[k] <= ps     ? kT + (t_prime - kT) * (levels_pa[k] - p_lowest) / (ps - p_lowest)
                                              : std::nan("");
    if (!std::isnan(t)) {
      EXPECT_LE(ulps_apart(record_value(bytes, points, 3 * lm + k + 1, 0), static_cast<float>(t)), 1);
    }
  }
  // Surface pressure and topography are those the interpolation used.
  EXPECT_EQ(record_value(bytes, points, 6 * lm + 3, 0), static_cast<float>(ps / 100));
  EXPECT_EQ(record_value(bytes, points, 6 * lm + 4, 0), static_cast<float>(kZs / kG));
}

TEST(ModelLevels, RefusalsAreOneLineNamingTheFileAndTheReason) {
  struct Case {
    const char* name;
    std::function<void(const TempDir&)> write;
    const char* options;
    const char* diagnostic;  // the line, after "import_data_times: "
  };
  auto write_set = [](const TempDir& dir, const std::function<void(ModelLevelSet&)>& change) {
    ModelLevelSet s = varied_set(30, 2);
    change(s);
    write_model_level_grib(s, dir.file("ml.grib"));
  };
  const Case cases[] = {
      {"a gap in the model levels",
       [&](const TempDir& d) { write_set(d, [](ModelLevelSet& s) { s.leave_out = {17, 18, 19, 25}; }); }, "",
       "ml.grib: model levels: no temperature at model levels 17 to 19, 25 at 2024010100 (the levels must run without a "
       "gap from 30 up to 1, the first above 1 hPa)"},
      {"an output level above the top model level", [&](const TempDir& d) { write_set(d, [](ModelLevelSet&) {}); },
       "--levels 1000,0.001", "ml.grib: model levels: the output level 0.001 hPa lies above the top model level ("},
      {"fields whose coefficients differ",
       [&](const TempDir& d) {
         write_set(d, [](ModelLevelSet& s) { s.leave_out = {30}; });
         ModelLevelSet other = varied_set(30, 2);
         other.pv[31 + 29] += 0.001;  // b of half level 29
         other.leave_out.clear();
         for (int k = 1; k < 30; ++k) other.leave_out.push_back(k);
         write_model_level_grib(other, d.file("ml.grib"));
       },
       "", "the coefficients of its model levels differ from those of ml.grib: message "},
      {"model and pressure levels at one data time",
       [&](const TempDir& d) {
         write_set(d, [](ModelLevelSet&) {});
         RunResult r = run_command(d.path(), "grib_copy -w count=3 ml.grib one.grib && grib_set -s typeOfLevel=isobaricInhPa,level=500 one.grib pl.grib && cat pl.grib >> ml.grib");
         ASSERT_EQ(r.status, 0) << r.err;
       },
       "", "ml.grib: model-level and pressure-level upper-air fields at 2024010100: they would give two values for one "
           "output level; import them apart"},
      {"no surface pressure",
       [&](const TempDir& d) {
         write_set(d, [](ModelLevelSet&) {});
         ASSERT_EQ(run_command(d.path(), "grib_copy -w shortName!=lnsp ml.grib x.grib && mv x.grib ml.grib").status, 0);
       },
       "", "ml.grib: model levels: no surface pressure (lnsp or sp) at 2024010100: the interpolation to pressure levels "
           "needs it (also with --allow-missing-surface)"},
      {"a spectral field",
       [&](const TempDir& d) {
         write_set(d, [](ModelLevelSet&) {});
         ASSERT_EQ(run_command(d.path(), "grib_set -s shortName=t,level=31 /usr/share/eccodes/samples/sh_ml_grib2.tmpl sh.grib && cat sh.grib >> ml.grib").status, 0);
       },
       "", "a spectral field (spherical harmonics), not values on a grid: ask the archive for a grid (grid=0.25/0.25 in a "
           "MARS or Data Store request) or transform it to a grid first (cdo sp2gp)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    c.write(dir);
    const RunResult r = import(dir, std::string("--allow-missing-surface --out out ") + c.options + " ml.grib");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.diagnostic), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("import_data_times: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/InputModelInf.txt")));
  }
}

// A real IFS forecast on all 137 model levels (u, v, t, q, lnsp, z).
TEST(RealModelLevels, TheForecastImportsAsCdoInterpolatesItAndConvertsReady) {
  struct Case {
    std::string levels;
    std::vector<double> levels_pa;
  };
  const Case cases[] = {{"", kEra5Pa},
                        {"1000,925,850,700,500,300,200,100,50,10",
                         {100000, 92500, 85000, 70000, 50000, 30000, 20000, 10000, 5000, 1000}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.levels);
    TempDir dir;
    RunResult r = import(dir, "--allow-missing-surface --out out " + (c.levels.empty() ? "" : "--levels " + c.levels) +
                                  " '" + kForecast + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    expect_as_cdo(dir, kForecast, dir.file("out/ecmf_2018111512.bin"), 48, 34, c.levels_pa, 2);
    r = run_command(dir.file("out"), "cp InputModelInf.txt adate.txt .. && cd .. && printf 'out/ecmf_2018111512.bin\\nx\\n' | " INPUT2MODELDATA_PATH);
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_command(dir.path(), std::string(INSPECT_WORK_FILE_PATH) + " summary out/ecmf_2018111512.bin.ZEPwrk");
    // Not ready only for the surface fields the file lacks: sea-level
    // pressure and soil.
    EXPECT_NE(r.out.find("verdict: NOT READY, 10 problems:\n  record "), std::string::npos) << r.out;
    const size_t problems = r.out.find("verdict:");
    for (const char* record : {"(u)", "(v)", "(z)", "(q)", "(t)", "(sp)", "(topo)", "(lsm)"}) {
      EXPECT_EQ(r.out.find(record, problems), std::string::npos) << record << r.out;
    }
  }
}

// CDO's NetCDF copy of the forecast (its hyai and hybi, lnsp and z on a
// one-level axis) gives the records of the GRIB import; without the
// coefficients, ECMWF's L137 levels are taken, and said.
TEST(RealModelLevels, NetcdfCopiesGiveTheRecordsOfTheGribImport) {
  TempDir dir;
  RunResult r = run_command(dir.path(), "cdo -s -f nc4 -b F64 copy '" + kForecast +
                                            "' ml.nc && nccopy -V t,q,u,v,lnsp,z,lev,lev_2,lat,lon,time ml.nc bare.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(import(dir, "--allow-missing-surface --model ECMF --out grib '" + kForecast + "'").status, 0);
  r = import(dir, "--allow-missing-surface --model ECMF --out nc ml.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("L137"), std::string::npos) << r.out;
  EXPECT_TRUE(file_bytes(dir.file("nc/ecmf_2018111512.bin")) == file_bytes(dir.file("grib/ecmf_2018111512.bin")));
  r = import(dir, "--allow-missing-surface --model ECMF --out bare bare.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("bare.nc: model levels without the coefficients of their levels: ECMWF's L137 levels taken\n"),
            std::string::npos) << r.out;
  EXPECT_TRUE(file_bytes(dir.file("bare/ecmf_2018111512.bin")) == file_bytes(dir.file("grib/ecmf_2018111512.bin")));
}

}  // namespace
