// The importer on real files as users hold them (tests/data/realdata: an
// ERA5 NetCDF file of the Climate Data Store, an ERA5 ensemble in GRIB,
// Gaussian grids), and on the bundled GFS sample split into GRIB and NetCDF
// by ecCodes' own tools. Every expectation comes from the files' values as
// ncdump and grib_get_data print them, never from the importer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/expected.h"
#include "support/grib_writer.h"

namespace {

using namespace testing_support;

const std::string kRealData = std::string(SOURCE_DIR) + "/tests/data/realdata/";
const std::string kGfsSample = std::string(SOURCE_DIR) + "/examples/gfs/gfs_2p5deg_subset.grib2";

RunResult import(const TempDir& dir, const std::string& arguments) { return run_importer(dir.path(), arguments); }

// Value `p` (0-based, rows south first) of record `r` (1-based) of an input
// record file of `points` points per record.
float record_value(const std::vector<unsigned char>& bytes, size_t points, size_t r, size_t p) {
  float v;
  std::memcpy(&v, &bytes[(r - 1) * (4 * points + 8) + 4 + 4 * p], 4);
  return v;
}

// The numbers of a variable's data section as `ncdump -v NAME` prints them.
std::vector<double> ncdump_values(const TempDir& dir, const std::string& file, const std::string& name) {
  const RunResult r = run_command(dir.path(), "ncdump -p 9,17 -v " + name + " '" + file + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  const size_t start = r.out.find("\n " + name + " =");
  std::istringstream in(r.out.substr(start + name.size() + 4));
  std::vector<double> values;
  std::string item;
  while (in >> item && item != ";") {
    if (item.back() == ',' || item.back() == ';') item.pop_back();
    if (!item.empty()) values.push_back(std::stod(item));
    if (in.peek() == ';') break;
  }
  return values;
}

// A numeric attribute as `ncdump -h` prints it: "VAR:NAME = VALUE ;".
double ncdump_attribute(const TempDir& dir, const std::string& file, const std::string& attribute) {
  const RunResult r = run_command(dir.path(), "ncdump -p 9,17 -h '" + file + "'");
  const size_t at = r.out.find(attribute + " = ");
  EXPECT_NE(at, std::string::npos) << attribute;
  return std::stod(r.out.substr(at + attribute.size() + 3));
}

// grib_get_data's values of the messages that `where` selects, in file order.
std::vector<double> grib_values(const TempDir& dir, const std::string& where, const std::string& file) {
  const RunResult r = run_command(dir.path(), "grib_get_data -F '%.17g' -w " + where + " '" + file + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string header;
  std::getline(lines, header);
  std::vector<double> values;
  double lat, lon, value;
  while (lines >> lat >> lon >> value) values.push_back(value);
  return values;
}

TEST(RealEra5Netcdf, IsNamedEra5AndRefusedWithoutItsSurfaceFields) {
  TempDir dir;
  const std::string file = kRealData + "met-accf-pl.nc";
  RunResult r = import(dir, "--out out '" + file + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find("met-accf-pl.nc: no surface field at all"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(" at 2022111100 (and at 2 more data times): "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--allow-missing-surface"), std::string::npos) << r.err;
  EXPECT_TRUE(all_files(dir.file("out")).empty());

  r = import(dir, "--allow-missing-surface --out out '" + file + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(visible_files(dir.file("out")), (std::vector<std::string>{"InputModelInf.txt", "adate.txt", "era5_2022111100.bin",
                                                                      "era5_2022111101.bin", "era5_2022111102.bin"}));
  EXPECT_EQ(read_file(dir.file("out/InputModelInf.txt")).substr(0, 48),
            "ERA5\n133 45 9\n0\n49000\n44000\n60000\n77000\n250\n250\n");
  // z, r, q, t, u, v on 9 levels at 3 times are used; pv is not.
  EXPECT_NE(r.out.find("189 fields: 162 used, 27 ignored (27 not recognised), 0 identical duplicates dropped\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("written as missing:\n  land-sea mask at every data time\n"), std::string::npos) << r.out;

  // The 350 hPa temperature (level index 8 of the file, level 1 written)
  // at the second time, unpacked from ncdump's shorts in double.
  const std::vector<double> packed = ncdump_values(dir, file, "t");
  ASSERT_EQ(packed.size(), 3u * 9 * 45 * 133);
  const double scale = ncdump_attribute(dir, file, "t:scale_factor"), offset = ncdump_attribute(dir, file, "t:add_offset");
  const std::vector<unsigned char> bytes = file_bytes(dir.file("out/era5_2022111101.bin"));
  const size_t points = 45 * 133;
  for (size_t j_north = 0; j_north < 45; ++j_north) {
    for (size_t i = 0; i < 133; ++i) {
      const double s = packed[((1 * 9 + 8) * 45 + j_north) * 133 + i];
      const float expected = s == -32767 ? 9.999e20f : static_cast<float>(s * scale + offset);
      ASSERT_EQ(record_value(bytes, points, 3 * 9 + 1, (44 - j_north) * 133 + i), expected) << j_north << " " << i;
    }
  }
}

// The fields an ERA5 ensemble file of z and t lacks, on its grid and at its
// data times, for one member to import: none of them belongs to a member.
void write_other_fields(const std::string& path) {
  GribMessage m;
  m.grid = {120, 61, 90, -90, 0, 357, false, false};
  const std::vector<std::pair<long, long>> times = {{20170101, 0}, {20170101, 1200}, {20170102, 0}, {20170102, 1200}};
  for (const auto& [date, time] : times) {
    m.date = date;
    m.time = time;
    m.level_type = "isobaricInhPa";
    for (long level : {850L, 500L}) {
      m.level = level;
      for (const auto& [param, value] : std::vector<std::pair<long, double>>{{157, 50}, {131, 5}, {132, -3}}) {
        m.param_id = param;
        m.values.assign(120 * 61, value);
        append_grib(path, m);
      }
    }
    const std::pair<long, double> surface[] = {{172, 1}, {151, 101300}, {134, 100000}, {129, 0}};
    m.level_type = "surface";
    for (const auto& [param, value] : surface) {
      m.param_id = param;
      m.values.assign(120 * 61, value);
      append_grib(path, m);
    }
    const long soil[] = {139, 39, 170, 40, 183, 41, 236, 42};
    const long top_cm[] = {0, 7, 28, 100}, bottom_cm[] = {7, 28, 100, 255};
    m.level_type = "depthBelowLandLayer";
    for (int s = 0; s < 8; ++s) {
      m.param_id = soil[s];
      m.top_cm = top_cm[s / 2];
      m.bottom_cm = bottom_cm[s / 2];
      m.values.assign(120 * 61, s % 2 == 0 ? 280.0 : 0.25);
      append_grib(path, m);
    }
  }
}

TEST(RealEnsemble, ImportsTheMemberChosenAndRefusesAMixture) {
  TempDir dir;
  const std::string file = kRealData + "era5-levels-members.grib";
  write_other_fields(dir.file("other.grib"));

  RunResult r = import(dir, "--out out '" + file + "' other.grib");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "import_data_times: " + file +
                       ": fields of 10 ensemble members (0 to 9); import one member at a time with --member N\n");
  EXPECT_TRUE(all_files(dir.file("out")).empty());
  r = import(dir, "--out out --member 10 '" + file + "' other.grib");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "import_data_times: " + file + ": no ensemble member 10: the files hold 10 ensemble members (0 to 9)\n");
  r = import(dir, "--list '" + file + "'");
  EXPECT_NE(r.out.find("  ensemble members (10): 0 to 9\n"), std::string::npos) << r.out;

  r = import(dir, "--out out --member 3 '" + file + "' other.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("ensemble member: 3 (of 10: 0 to 9)\n"), std::string::npos) << r.out;
  // 4 times x 2 levels x 2 parameters of each of 9 other members.
  EXPECT_NE(r.out.find("ignored (144 of other ensemble members)"), std::string::npos) << r.out;
  const size_t points = 120 * 61;
  struct Case {
    const char* where;
    const char* bin;
    size_t record;  // levels 850, 500: z in records 1 and 2, t in 7 and 8
    double divisor;
  };
  const Case cases[] = {
      {"shortName=z,level=500,number=3,dataDate=20170101,dataTime=1200", "era5_2017010112.bin", 2, 9.80665},
      {"shortName=t,level=850,number=3,dataDate=20170102,dataTime=0", "era5_2017010200.bin", 7, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    const std::vector<double> expected = grib_values(dir, c.where, file);
    ASSERT_EQ(expected.size(), points);
    const std::vector<unsigned char> bytes = file_bytes(dir.file(std::string("out/") + c.bin));
    for (size_t p = 0; p < points; ++p) {
      // grib_get_data lists rows north first; the record holds them south first.
      const size_t j_north = p / 120, i = p % 120;
      ASSERT_EQ(record_value(bytes, points, c.record, (60 - j_north) * 120 + i), static_cast<float>(expected[p] / c.divisor))
          << p;
    }
  }
}

TEST(RealGrids, AreListedWithTheirGridsAndRefusedForWhatTheyLack) {
  TempDir dir;
  // Fields the importer does not use are listed with their grid type only.
  RunResult r = import(dir, "--list '" + kRealData + "regular_gg_pl.grib' '" + kRealData + "reduced_gg.grib'");
  EXPECT_EQ(r.status, 2);
  for (const char* line : {"regular_gg_pl.grib (GRIB1): 1 fields\n"
                           "  grid: grid type regular_gg (of fields not used)\n",
                           "reduced_gg.grib (GRIB1): 1 fields\n"
                           "  grid: grid type reduced_gg (of fields not used)\n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
  }
  // ECMWF's temperature at 1000 hPa on the reduced N48 grid, four steps.
  const std::string n48 = kRealData + "t_n48.grib";
  r = import(dir, "--list '" + n48 + "'");
  EXPECT_NE(r.out.find("  grid: reduced Gaussian N48, 13280 points in 96 rows, about 1.86 degrees, latitudes "
                       "-88.572169 to 88.572169\n"),
            std::string::npos) << r.out;
  EXPECT_EQ(r.err, "import_data_times: " + n48 +
                       ": fields on a reduced Gaussian grid (N48, about 1.86 degrees): give the grid to write with "
                       "--grid, for instance --grid 2\n");
  r = import(dir, "--grid 2 --out out '" + n48 + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "import_data_times: " + n48 + ": no geopotential height at any pressure level at 2019050912\n");
}

// The summary's counts: every field read is used, ignored or a duplicate.
TEST(GfsSampleCounts, FieldsUsedIgnoredAndDuplicatesAddUpToTheFieldsRead) {
  TempDir dir;
  // Two copies of one message, and two of its 26 levels.
  std::vector<unsigned char> twice = file_bytes(kGfsSample);
  const size_t first_length = twice[12] * 16777216u + twice[13] * 65536u + twice[14] * 256u + twice[15];
  twice.insert(twice.end(), twice.begin(), twice.begin() + static_cast<long>(first_length));
  write_file(dir.file("twice.grib2"), std::string(twice.begin(), twice.end()));
  const RunResult r = import(dir, "--out out --levels 850,500 twice.grib2");
  ASSERT_EQ(r.status, 0) << r.err;
  // 142 fields read: 2 levels of gh, r, t, u, v and the 12 surface fields
  // are used, the other 24 levels (119 fields, r lacking at 20 hPa) are not,
  // and the repeated message is a duplicate.
  EXPECT_NE(r.out.find("142 fields: 22 used, 119 ignored (119 at levels or soil layers not written), 1 identical "
                       "duplicates dropped\n"),
            std::string::npos)
      << r.out;
}

// GFS pressure levels and soil in GRIB, its other single-level fields
// converted to NetCDF by ecCodes' grib_to_netcdf (16-bit packed): the same
// records as the GRIB import, the packed ones within half their packing step.
TEST(GfsSampleSplit, SurfaceFieldsFromNetcdfGiveTheRecordsOfTheGribImport) {
  TempDir dir;
  RunResult r = run_command(dir.path(), "grib_copy -w shortName!=lsm,shortName!=prmsl,shortName!=sp,shortName!=orog '" +
                                            kGfsSample + "' levels.grib2 && grib_copy -w shortName=lsm/prmsl/sp/orog '" +
                                            kGfsSample + "' surface.grib2 && grib_to_netcdf -o surface.nc surface.grib2");
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(import(dir, "--out whole '" + kGfsSample + "'").status, 0);
  r = import(dir, "--out split levels.grib2 surface.nc");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("sources: 2 files (GRIB2, NetCDF 64-bit offset), 141 fields: 137 used, 4 ignored (4 at levels or soil layers not written)"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(read_file(dir.file("split/InputModelInf.txt")), read_file(dir.file("whole/InputModelInf.txt")));
  const std::vector<unsigned char> whole = file_bytes(dir.file("whole/gfs_2011011512.bin"));
  const std::vector<unsigned char> split = file_bytes(dir.file("split/gfs_2011011512.bin"));
  ASSERT_EQ(whole.size(), split.size());
  const size_t points = 144 * 73, lm = 25;
  // Surface slices 1 to 4 and the half packing step of each, in the record's unit.
  const std::map<size_t, double> packed = {
      {6 * lm + 1, ncdump_attribute(dir, "surface.nc", "lsm:scale_factor") / 2},
      {6 * lm + 2, ncdump_attribute(dir, "surface.nc", "prmsl:scale_factor") / 2 / 100},
      {6 * lm + 3, ncdump_attribute(dir, "surface.nc", "sp:scale_factor") / 2 / 100},
      {6 * lm + 4, ncdump_attribute(dir, "surface.nc", "orog:scale_factor") / 2}};
  for (size_t record = 1; record <= 6 * lm + 12; ++record) {
    const auto tolerance = packed.find(record);
    for (size_t p = 0; p < points; ++p) {
      const float a = record_value(whole, points, record, p), b = record_value(split, points, record, p);
      if (tolerance == packed.end()) {
        ASSERT_TRUE(same_bits(a, b)) << record << " " << p;
      } else {
        // The float rounding of either side adds at most an ulp.
        ASSERT_LE(std::fabs(static_cast<double>(a) - b), tolerance->second * 1.0001 + std::fabs(a) * 1.2e-7)
            << record << " " << p;
      }
    }
  }
}

}  // namespace
