// End-to-end runs of import_data_times on NetCDF files made with the
// netCDF-C API in both layouts the Climate Data Store has delivered ERA5 in:
// the same data as the GRIB tests must give byte-identical files, and bad
// NetCDF input one diagnostic.

#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
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
    for (size_t i = 0; i < values.size(); ++i) values[i] = dims[d].first == "level" ? 1000.0 - 150.0 * i : 10.0 * i;
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
