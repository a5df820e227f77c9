// End-to-end runs of import_data_times on NetCDF files made with the
// netCDF-C API in both layouts the Climate Data Store has delivered ERA5 in:
// the same data as the GRIB tests must give byte-identical files, and bad
// NetCDF input one diagnostic.

#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/era5_like.h"
#include "support/expected.h"
#include "support/netcdf_writer.h"

namespace {

using namespace testing_support;

RunResult import(const TempDir& dir, const std::string& arguments) { return run_importer(dir.path(), arguments); }

class ImportNetcdf : public ::testing::Test {
 protected:
  void SetUp() override {
    write_era5_grib(data, {1, "grid_simple", false, false, nullptr}, dir.file("pl.grib"), dir.file("sfc.grib"));
    ASSERT_EQ(import(dir, "--out grib pl.grib sfc.grib").status, 0);
  }
  // Every file of `out` equals the GRIB import's, the control file included.
  void expect_same_as_grib(const std::string& out) {
    const std::vector<std::string> names = all_files(dir.file("grib"));
    ASSERT_EQ(all_files(dir.file(out)), names);
    for (const std::string& name : names) {
      EXPECT_TRUE(file_bytes(dir.file(out + "/" + name)) == file_bytes(dir.file("grib/" + name))) << name;
    }
  }

  TempDir dir;
  Era5Like data;
};

TEST_F(ImportNetcdf, BothLayoutsGiveTheFilesOfTheGribImport) {
  struct Case {
    const char* name;
    NetcdfLayout layout;
  };
  const Case cases[] = {
      {"older layout: NetCDF3, packed, hours since 1900", {}},
      {"newer layout: NetCDF-4, float32, seconds since 1970", {.newer = true}},
      {"newer layout stored south first", {.newer = true, .south_first = true}},
      {"older layout with expver: ERA5 first, ERA5T last", {.expver = true}},
      {"a time unit in days", {.time_units = "days since 2024-01-01 00:00"}},
      {"every variable stored (longitude, latitude, level, time)", {.newer = true, .transposed = true}},
      {"older layout, transposed but for its record dimension time", {.transposed = true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir.file("nc"));
    write_era5_netcdf(data, c.layout, dir.file("pl.nc"), dir.file("sfc.nc"));
    const RunResult r = import(dir, "--out nc sfc.nc pl.nc");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    expect_same_as_grib("nc");
  }
}

TEST_F(ImportNetcdf, ImportsOneEnsembleMemberOfANumberDimension) {
  // Three members; only member 2 holds data, the others are filled, so a
  // wrong member would give missing values.
  write_era5_netcdf(data, {.newer = true, .members = 3}, dir.file("pl.nc"), dir.file("sfc.nc"));
  RunResult r = import(dir, "--out nc pl.nc sfc.nc");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "import_data_times: pl.nc, sfc.nc: fields of 3 ensemble members (0 to 2); import one member at a "
                   "time with --member N\n");
  r = import(dir, "--out nc --member 2 pl.nc sfc.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  expect_same_as_grib("nc");
}

TEST_F(ImportNetcdf, MixesGribAndNetcdfSources) {
  // A single-level NetCDF file beside the GRIB pressure-level file.
  write_era5_netcdf(data, {.newer = true}, dir.file("pl.nc"), dir.file("sfc.nc"));
  const RunResult r = import(dir, "--out mixed pl.grib sfc.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("sources: 2 files (GRIB1, NetCDF-4)"), std::string::npos) << r.out;
  expect_same_as_grib("mixed");
}

TEST(ImportNetcdfGrid, LongitudesFromMinus180WithAnAreaAcrossTheZeroMeridian) {
  TempDir dir;
  Era5Like data;
  data.lon_west = -180;  // -180, -135, ..., 135
  write_era5_netcdf(data, {.newer = true, .south_first = true}, dir.file("pl.nc"), dir.file("sfc.nc"));
  RunResult r = import(dir, "--out whole pl.nc sfc.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("whole/InputModelInf.txt")),
            "ERA5\n8 5 3\n0\n-90000\n-180000\n90000\n135000\n45000\n45000\n1000\n850\n500\n");
  EXPECT_TRUE(file_bytes(dir.file("whole/era5_2024010106.bin")) == expected_era5_records(data, 1, whole_era5_grid(data)));

  // -90 to 90 degrees east are the columns 2 to 6, without wrapping.
  r = import(dir, "--out area --area 45/-90/-45/90 pl.nc sfc.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("area/InputModelInf.txt")),
            "ERA5\n5 3 3\n0\n-45000\n-90000\n45000\n90000\n45000\n45000\n1000\n850\n500\n");
  EXPECT_TRUE(file_bytes(dir.file("area/era5_2024010100.bin")) ==
              expected_era5_records(data, 0, {{3, 2, 1}, {2, 3, 4, 5, 6}}));
}

// A pressure-level file on a 0.1-degree grid whose coordinates are stored
// in float32, as the Data Store's conversion writes them: 151 longitudes
// from 100.3, 101 latitudes from 50.2 down to 40.2, one level and time. The
// temperature at (i, j from the north) is 250 + i / 100 + j / 10.
// `moved` shifts one longitude by 0.01 degree.
void write_float32_grid(const std::string& path, int moved = -1) {
  int nc = 0, time = 0, level = 0, lat = 0, lon = 0;
  ASSERT_EQ(nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4, &nc), NC_NOERR);
  nc_def_dim(nc, "time", 1, &time);
  nc_def_dim(nc, "level", 1, &level);
  nc_def_dim(nc, "latitude", 101, &lat);
  nc_def_dim(nc, "longitude", 151, &lon);
  int time_var = 0, level_var = 0, lat_var = 0, lon_var = 0;
  nc_def_var(nc, "time", NC_INT, 1, &time, &time_var);
  nc_put_att_text(nc, time_var, "units", 31, "hours since 1900-01-01 00:00:00");
  nc_def_var(nc, "level", NC_INT, 1, &level, &level_var);
  nc_put_att_text(nc, level_var, "units", 9, "millibars");
  nc_def_var(nc, "latitude", NC_FLOAT, 1, &lat, &lat_var);
  nc_put_att_text(nc, lat_var, "units", 13, "degrees_north");
  nc_def_var(nc, "longitude", NC_FLOAT, 1, &lon, &lon_var);
  nc_put_att_text(nc, lon_var, "units", 12, "degrees_east");
  const int dims[] = {time, level, lat, lon};
  const std::pair<const char*, const char*> variables[] = {{"z", "m**2 s**-2"}, {"r", "%"}, {"t", "K"}, {"u", "m s**-1"}, {"v", "m s**-1"}};
  std::vector<int> ids;
  for (const auto& [name, units] : variables) {
    int id = 0;
    ASSERT_EQ(nc_def_var(nc, name, NC_FLOAT, 4, dims, &id), NC_NOERR);
    nc_put_att_text(nc, id, "units", std::strlen(units), units);
    ids.push_back(id);
  }
  ASSERT_EQ(nc_enddef(nc), NC_NOERR);
  const int hours = 1087296;  // 2024-01-15 00 UTC
  const int hpa = 850;
  nc_put_var_int(nc, time_var, &hours);
  nc_put_var_int(nc, level_var, &hpa);
  std::vector<float> lats, lons, values;
  for (int j = 0; j < 101; ++j) lats.push_back(static_cast<float>(50.2 - 0.1 * j));
  for (int i = 0; i < 151; ++i) lons.push_back(static_cast<float>(100.3 + 0.1 * i + (i == moved ? 0.01 : 0)));
  for (int j = 0; j < 101; ++j) {
    for (int i = 0; i < 151; ++i) values.push_back(250.0f + static_cast<float>(i) / 100 + static_cast<float>(j) / 10);
  }
  nc_put_var_float(nc, lat_var, lats.data());
  nc_put_var_float(nc, lon_var, lons.data());
  for (int id : ids) nc_put_var_float(nc, id, values.data());
  nc_close(nc);
}

TEST(ImportNetcdfGrid, Float32CoordinatesOfATenthOfADegreeAreARegularGrid) {
  TempDir dir;
  write_float32_grid(dir.file("pl.nc"));
  RunResult r = import(dir, "--allow-missing-surface --out whole pl.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("whole/InputModelInf.txt")),
            "NETCDF\n151 101 1\n0\n40200\n100300\n50200\n115300\n100\n100\n850\n");
  // The edges of a box fall on grid points, as their thousandths say.
  r = import(dir, "--allow-missing-surface --out area --area 45.2/102.3/42.2/104.3 pl.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("area/InputModelInf.txt")),
            "NETCDF\n21 31 1\n0\n42200\n102300\n45200\n104300\n100\n100\n850\n");
  const std::vector<unsigned char> bytes = file_bytes(dir.file("area/netcdf_2024011500.bin"));
  for (int j = 0; j < 31; ++j) {  // rows south first: 42.2 is row 80 from the north
    for (int i = 0; i < 21; ++i) {
      float t;
      std::memcpy(&t, &bytes[3 * (8 + 4 * 21 * 31) + 4 + 4 * static_cast<size_t>(j * 21 + i)], 4);
      EXPECT_EQ(t, 250.0f + static_cast<float>(i + 20) / 100 + static_cast<float>(80 - j) / 10) << i << " " << j;
    }
  }

  write_float32_grid(dir.file("moved.nc"), 50);
  r = import(dir, "--allow-missing-surface --out moved moved.nc");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("import_data_times: moved.nc: variable ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(": coordinate longitude is not equally spaced (between points 50 and 51): only regular "
                       "latitude-longitude grids can be imported\n"),
            std::string::npos)
      << r.err;
  r = import(dir, "--list moved.nc");
  EXPECT_NE(r.out.find("  grid: coordinate longitude is not equally spaced (between points 50 and 51)"), std::string::npos)
      << r.out;
}

// A small NetCDF file written by hand for the bad cases: one variable t
// with the given dimensions, and coordinate variables for some of them.
void write_bad_netcdf(const std::string& path, const std::vector<std::pair<std::string, size_t>>& dims,
                      bool with_coordinates, const std::string& time_units) {
  int nc = 0;
  ASSERT_EQ(nc_create(path.c_str(), NC_CLOBBER, &nc), NC_NOERR);
  std::vector<int> ids;
  for (const auto& [name, length] : dims) {
    int id = 0;
    ASSERT_EQ(nc_def_dim(nc, name.c_str(), length, &id), NC_NOERR);
    ids.push_back(id);
    if (!with_coordinates) continue;
    int var = 0;
    ASSERT_EQ(nc_def_var(nc, name.c_str(), NC_DOUBLE, 1, &id, &var), NC_NOERR);
    const std::string units = name == "latitude" ? "degrees_north" : name == "longitude" ? "degrees_east"
                              : name == "time"   ? time_units
                              : name == "level"  ? "millibars"
                                                 : "1";
    nc_put_att_text(nc, var, "units", units.size(), units.c_str());
  }
  int t = 0;
  ASSERT_EQ(nc_def_var(nc, "t", NC_FLOAT, static_cast<int>(ids.size()), ids.data(), &t), NC_NOERR);
  nc_put_att_text(nc, t, "units", 1, "K");
  ASSERT_EQ(nc_enddef(nc), NC_NOERR);
  for (size_t d = 0; d < dims.size() && with_coordinates; ++d) {
    std::vector<double> values(dims[d].second);
    for (size_t i = 0; i < values.size(); ++i) values[i] = dims[d].first == "level" ? 1000.0 - 150.0 * static_cast<double>(i) : 10.0 * static_cast<double>(i);
    int var = 0;
    nc_inq_varid(nc, dims[d].first.c_str(), &var);
    nc_put_var_double(nc, var, values.data());
  }
  nc_close(nc);
}

bool no_temperature_at_850(int v, size_t, size_t level) { return v == kT && level == 1; }

TEST(ImportNetcdfBadInput, EndsWithOneDiagnosticAndNoDataTimeFile) {
  TempDir dir;
  Era5Like data;
  write_era5_netcdf(data, {}, dir.file("pl.nc"), dir.file("sfc.nc"));
  const std::vector<unsigned char> pl = file_bytes(dir.file("pl.nc"));
  write_file(dir.file("cut.nc"), std::string(pl.begin(), pl.begin() + static_cast<long>(pl.size() / 2)));
  write_era5_netcdf(data, {.newer = true}, dir.file("pl4.nc"), dir.file("sfc4.nc"));
  const std::vector<unsigned char> pl4 = file_bytes(dir.file("pl4.nc"));
  write_file(dir.file("cut4.nc"), std::string(pl4.begin(), pl4.begin() + static_cast<long>(pl4.size() / 2)));
  write_bad_netcdf(dir.file("no_latitude.nc"), {{"time", 1}, {"y", 3}, {"x", 4}}, false, "");
  write_bad_netcdf(dir.file("strange_dims.nc"), {{"time", 1}, {"step", 2}, {"level", 2}, {"latitude", 3}, {"longitude", 4}},
                   true, "hours since 2024-01-01");
  write_bad_netcdf(dir.file("bad_unit.nc"), {{"time", 1}, {"level", 2}, {"latitude", 3}, {"longitude", 4}}, true,
                   "fortnights since 2024-01-01");
  write_era5_netcdf(data, {.expver = true, .expver_overlap = true}, dir.file("overlap_pl.nc"), dir.file("overlap_sfc.nc"));

  struct Case {
    const char* arguments;
    const char* diagnostic;  // the line's start, after "import_data_times: "
  };
  const Case cases[] = {
      {"cut.nc sfc.nc", "cut.nc: the file is cut short: its variables need at least "},
      {"cut4.nc", "cut4.nc: netCDF-C cannot read it: NetCDF: HDF error"},
      {"no_latitude.nc", "no_latitude.nc: no latitude coordinate"},
      {"strange_dims.nc", "strange_dims.nc: variable t: its dimensions (time, step, level, latitude, longitude) are not understood"},
      {"bad_unit.nc", "bad_unit.nc: variable time: time unit \"fortnights since 2024-01-01\" cannot be read"},
      {"overlap_pl.nc overlap_sfc.nc", "overlap_pl.nc: variable z: expver 1 and expver 5 both hold data at 2024010106"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::filesystem::remove_all(dir.file("out"));
    const RunResult r = import(dir, std::string("--out out ") + c.arguments);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind(std::string("import_data_times: ") + c.diagnostic, 0), 0u) << r.err;
    for (const std::string& name : all_files(dir.file("out"))) EXPECT_EQ(name.find(".bin"), std::string::npos) << name;
  }
}

TEST(ImportNetcdfValues, AFilledSlabIsAFieldOfMissingPoints) {
  TempDir dir;
  Era5Like data;
  // The older layout with the 850 hPa temperature filled at every time: the
  // level stays (its first point decides in the converter) and every point
  // of it counts as missing in the source.
  write_era5_netcdf(data, {.leave_out = no_temperature_at_850}, dir.file("pl.nc"), dir.file("sfc.nc"));
  RunResult r = import(dir, "--list pl.nc sfc.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("pl.nc (NetCDF 64-bit offset): 36 fields\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("levels an import would keep (3): 1000, 850, 500 hPa\n"), std::string::npos) << r.out;
  r = import(dir, "--out out pl.nc sfc.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  // 2 data times x 40 points; the soil fields miss one point each time.
  EXPECT_NE(r.out.find("  temperature                  80\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  soil moisture layer 4        2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("model name: ERA5\n"), std::string::npos) << r.out;
}

}  // namespace
