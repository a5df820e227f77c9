// End-to-end runs of import_data_times on GRIB files made with the ecCodes
// API: the record files, control file and date file it writes, compared
// byte for byte with what the import rules give for the data written, and
// its diagnostics on bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/era5_like.h"
#include "support/expected.h"
#include "support/grib_writer.h"

namespace {

using namespace testing_support;

RunResult import(const TempDir& dir, const std::string& arguments) { return run_importer(dir.path(), arguments); }

std::string text_of(const std::vector<unsigned char>& bytes) { return {bytes.begin(), bytes.end()}; }

const std::string kEra5Control =
    "ERA5\n8 5 3\n0\n-90000\n0\n90000\n315000\n45000\n45000\n1000\n850\n500\n";

class ImportGrib : public ::testing::Test {
 protected:
  void write(const GribLayout& layout) { write_era5_grib(data, layout, dir.file("pl.grib"), dir.file("sfc.grib")); }
  void expect_era5_import(const RunResult& r, const Era5Selection& selection, const std::string& out = "out") {
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("[1/2] 2024010100 -> era5_2024010100.bin\n[2/2] 2024010106 -> era5_2024010106.bin\n== summary (import_data_times " I2M_VERSION ") ==\n", 0), 0u)
        << r.out;
    EXPECT_EQ(all_files(dir.file(out)), (std::vector<std::string>{"InputModelInf.txt", "adate.txt",
                                                                  "era5_2024010100.bin", "era5_2024010106.bin"}));
    EXPECT_EQ(read_file(dir.file(out + "/adate.txt")), "2024010100\n");
    EXPECT_TRUE(file_bytes(dir.file(out + "/era5_2024010100.bin")) == expected_era5_records(data, 0, selection));
    EXPECT_TRUE(file_bytes(dir.file(out + "/era5_2024010106.bin")) == expected_era5_records(data, 1, selection));
  }

  TempDir dir;
  Era5Like data;
};

TEST_F(ImportGrib, WritesTheRecordsOfEveryDataTimeFromEitherEdition) {
  struct Case {
    const char* name;
    GribLayout layout;
  };
  const Case cases[] = {
      {"GRIB1, simple packing", {1, "grid_simple", false, false, nullptr}},
      {"GRIB2", {2, "grid_simple", false, false, nullptr}},
      {"GRIB1 stored south first", {1, "grid_simple", true, false, nullptr}},
      {"GRIB2 stored east to west", {2, "grid_simple", false, true, nullptr}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir.file("out"));
    std::filesystem::remove(dir.file("pl.grib"));
    std::filesystem::remove(dir.file("sfc.grib"));
    write(c.layout);
    // The single-level file first: the order of the files does not matter.
    expect_era5_import(import(dir, "--out out sfc.grib pl.grib"), whole_era5_grid(data));
    EXPECT_EQ(read_file(dir.file("out/InputModelInf.txt")), kEra5Control);
  }
}

TEST_F(ImportGrib, Grib1AndGrib2OfTheSameValuesGiveIdenticalFiles) {
  write({1, "grid_simple", false, false, nullptr});
  ASSERT_EQ(import(dir, "--out one pl.grib sfc.grib").status, 0);
  std::filesystem::rename(dir.file("pl.grib"), dir.file("pl1.grib"));
  std::filesystem::rename(dir.file("sfc.grib"), dir.file("sfc1.grib"));
  write({2, "grid_simple", false, false, nullptr});
  ASSERT_EQ(import(dir, "--out two pl.grib sfc.grib").status, 0);
  for (const std::string& name : all_files(dir.file("one"))) {
    EXPECT_TRUE(file_bytes(dir.file("one/" + name)) == file_bytes(dir.file("two/" + name))) << name;
  }
}

TEST_F(ImportGrib, WritesAGridStartingAt180EastFromMinus180) {
  // ECMWF's open data start at 180 E; the points and values stay where they are.
  data.lon_west = 180;
  write({2, "grid_simple", false, false, nullptr});
  const RunResult r = import(dir, "--out out pl.grib sfc.grib");
  expect_era5_import(r, whole_era5_grid(data));
  EXPECT_EQ(read_file(dir.file("out/InputModelInf.txt")),
            "ERA5\n8 5 3\n0\n-90000\n-180000\n90000\n135000\n45000\n45000\n1000\n850\n500\n");
  EXPECT_NE(r.out.find("longitudes -180 to 135\n"), std::string::npos) << r.out;
}

bool no_relative_humidity(int v, size_t, size_t) { return v == kR; }

TEST_F(ImportGrib, DerivesRelativeHumidityFromSpecificHumidity) {
  write({1, "grid_simple", false, false, no_relative_humidity});
  const RunResult r = import(dir, "--out out pl.grib sfc.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("derived:\n  relative humidity from temperature and specific humidity at 1000, 850, 500 hPa, at "
                       "every data time\n"),
            std::string::npos)
      << r.out;
  const size_t points = 40, lm = 3;
  for (size_t time = 0; time < 2; ++time) {
    SCOPED_TRACE(time);
    const std::string name = time == 0 ? "era5_2024010100.bin" : "era5_2024010106.bin";
    const std::vector<unsigned char> bytes = file_bytes(dir.file("out/" + name));
    ASSERT_EQ(run_converter(dir.file("out"), name + "\nx\n").status, 0);
    const std::vector<unsigned char> work = file_bytes(dir.file("out/" + name + ".ZEPwrk"));
    auto value = [](const std::vector<unsigned char>& b, size_t offset) {
      float v;
      std::memcpy(&v, &b[offset], 4);
      return v;
    };
    for (size_t k = 0; k < lm; ++k) {
      const double p = static_cast<double>(data.levels_hpa[k]);
      for (size_t point = 0; point < points; ++point) {
        const int j_north = data.nj - 1 - static_cast<int>(point / 8), i = static_cast<int>(point % 8);
        const double t = data.value(kT, time, k, j_north, i);
        const float q = static_cast<float>(data.value(kQ, time, k, j_north, i));
        // r = q (p - e) / (0.00622 e), e from the table at the temperature's code, in double, rounded once.
        const double e = reference_esat(temperature_code(static_cast<float>(t)));
        const float expected = std::isnan(t) ? 9.999e20f
                                             : static_cast<float>(static_cast<double>(q) * (p - e) /
                                                                  (static_cast<double>(0.00622f) * e));
        const float written = value(bytes, (lm + k) * (8 + 4 * points) + 4 + 4 * point);
        EXPECT_TRUE(same_bits(written, expected)) << k << " " << point << ": " << written << " " << expected;
        // The converter's specific humidity from it is the source's.
        if (std::isnan(t)) continue;
        const float converted = value(work, ((3 * lm + k) * points + point) * 4);
        EXPECT_LE(std::fabs(converted - q), 1e-5f * q) << k << " " << point << ": " << converted << " " << q;
      }
    }
  }
}

TEST_F(ImportGrib, RefusesAFolderOfAnotherGridUnlessToldToReplaceIt) {
  write({1, "grid_simple", false, false, nullptr});
  ASSERT_EQ(import(dir, "--out out pl.grib sfc.grib").status, 0);
  // The same grid again, and two imports at once into one folder: each file whole.
  RunResult r = run_command(dir.path(), "for n in 1 2; do '" IMPORT_DATA_TIMES_PATH
                                        "' --out out pl.grib sfc.grib > /dev/null & done; wait");
  EXPECT_EQ(r.status, 0) << r.err;
  expect_era5_import(import(dir, "--out out pl.grib sfc.grib"), whole_era5_grid(data));
  EXPECT_EQ(read_file(dir.file("out/InputModelInf.txt")), kEra5Control);

  r = import(dir, "--out out --area 45/-90/-45/90 pl.grib sfc.grib");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "import_data_times: out: holds 2 .bin files of another grid or level list (era5_2024010100.bin, "
                   "era5_2024010106.bin): import into another folder, or remove them first with --replace\n");
  EXPECT_EQ(read_file(dir.file("out/InputModelInf.txt")), kEra5Control);
  r = import(dir, "--out out --replace --area 45/-90/-45/90 pl.grib sfc.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("removed first (--replace): era5_2024010100.bin, era5_2024010106.bin\n"), std::string::npos) << r.out;
  expect_era5_import(r, {{3, 2, 1}, {6, 7, 0, 1, 2}});
}

TEST_F(ImportGrib, RemovesTemporaryFilesThatAKilledImportLeftAndNoOthers) {
  write({1, "grid_simple", false, false, nullptr});
  ASSERT_EQ(run_command(dir.path(), "mkdir out").status, 0);
  const std::vector<std::string> dead = {".InputModelInf.txt.77-0.part", ".adate.txt.77-3.part",
                                         ".era5_2024010100.bin.77-1.part", ".other_1999123118.bin.5-12.part"};
  // The converter's and inspector's temporary names, and names of no
  // temporary file, in the same folder.
  const std::vector<std::string> kept = {".era5_2024010100.bin.ZEPwrk.77-2.part", ".notes.part", ".era5.bin.7-0.part",
                                         ".era5_2024010100.bin.77-.part", "era5_2024010100.bin.77-1.part"};
  for (const std::string& name : dead) write_file(dir.file("out/" + name), "x");
  for (const std::string& name : kept) write_file(dir.file("out/" + name), "x");
  const RunResult r = import(dir, "--out out pl.grib sfc.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("removed first (left by an import that did not finish): .InputModelInf.txt.77-0.part, "
                       ".adate.txt.77-3.part, .era5_2024010100.bin.77-1.part, .other_1999123118.bin.5-12.part\n"),
            std::string::npos)
      << r.out;
  for (const std::string& name : dead) EXPECT_FALSE(std::filesystem::exists(dir.file("out/" + name))) << name;
  for (const std::string& name : kept) EXPECT_EQ(read_file(dir.file("out/" + name)), "x") << name;
}

TEST_F(ImportGrib, ConvertsToAWorkFileTheConverterAccepts) {
  write({1, "grid_simple", false, false, nullptr});
  ASSERT_EQ(import(dir, "--out out pl.grib sfc.grib").status, 0);
  const RunResult r = run_converter(dir.file("out"), "era5_2024010106.bin\nx\n");
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_EQ(r.out.substr(0, 62), " using hardwired stuff!            8           5           3\n ");
}

TEST_F(ImportGrib, DropsIdenticalDuplicatesAndCountsThem) {
  write({2, "grid_simple", false, false, nullptr});
  // Concatenated files repeat whole messages.
  std::vector<unsigned char> twice = file_bytes(dir.file("pl.grib"));
  const std::vector<unsigned char> once = twice;
  twice.insert(twice.end(), once.begin(), once.end());
  write_file(dir.file("both.grib"), text_of(twice));
  const RunResult r = import(dir, "--out out both.grib sfc.grib");
  expect_era5_import(r, whole_era5_grid(data));
  // 2 data times x 6 fields x 3 levels.
  EXPECT_NE(r.out.find("36 identical duplicates dropped"), std::string::npos) << r.out;
}


bool no_meridional_wind(int v, size_t, size_t) { return v == kV; }
bool no_850_humidity(int v, size_t, size_t level) { return (v == kR || v == kQ) && level == 1; }

TEST_F(ImportGrib, ListsTheInventoryAndWritesNothing) {
  write({2, "grid_simple", false, false, no_850_humidity});
  const RunResult r = import(dir, "--list --out out pl.grib sfc.grib");
  ASSERT_EQ(r.status, 0) << r.err;
  const char* const lines[] = {
      "pl.grib (GRIB2): 32 fields\n",
      "  grid: 8 x 5 points, 45 x 45 degrees, latitudes -90 to 90, longitudes 0 to 315\n",
      "  data times: 2024010100, 2024010106\n",
      "    relative humidity        r (%), 2 levels: 1000, 500 hPa\n",
      "    temperature              t (K), 3 levels: 1000, 850, 500 hPa\n",
      "sfc.grib (GRIB2): 24 fields\n",
      "levels an import would keep (2): 1000, 500 hPa\n",
      "  850 hPa: no relative humidity at 2024010100 and at 1 more data time\n",
  };
  for (const char* line : lines) EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  EXPECT_TRUE(all_files(dir.file("out")).empty());
}

// A pressure-level set made by hand: gh instead of z, on a 4 x 3 grid
// stored north first, one level at 150 Pa given by its scaled value.
TEST(ImportGribValues, KeepsRealNinesAndScaledLevelsAndDerivesHumidity) {
  TempDir dir;
  GribMessage m;
  m.edition = 2;
  m.centre = 7;  // NCEP
  m.grid = {4, 3, 10, -10, 0, 30, false, false};
  m.level_type = "isobaricInhPa";
  m.scale_factor = 0;
  m.scaled_value = 150;  // Pa: ecCodes' integer level reads 1
  const double nan = NAN;
  struct Field {
    long param_id;
    std::vector<double> values;
  };
  // gh holds a real 9999 m next to a point missing in the bitmap.
  const Field fields[] = {
      {156, {9999, nan, 31000, 31001, 31002, 31003, 31004, 31005, 31006, 31007, 31008, 31009}},
      {157, {10, 20, 30, 40, 50, nan, 70, 80, 90, 100, 5, 15}},
      {130, {200, 201, 202, 203, 204, 205, nan, 207, 208, 209, 210, 211}},
      {131, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
      {132, {-1, -2, -3, -4, -5, -6, -7, -8, -9, -10, -11, -12}},
  };
  for (const Field& f : fields) {
    m.param_id = f.param_id;
    m.values = f.values;
    append_grib(dir.file("pl.grib2"), m);
  }
  const RunResult r = import(dir, "--allow-missing-surface --out out pl.grib2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(dir.file("out/InputModelInf.txt")), "GFS\n4 3 1\n0\n-10000\n0\n10000\n30000\n10000\n10000\n1.5\n");
  const std::vector<unsigned char> bytes = file_bytes(dir.file("out/gfs_2024010100.bin"));
  ASSERT_EQ(bytes.size(), 18u * (8 + 48));
  auto value = [&](int record, int i, int j_south) {
    float v;
    std::memcpy(&v, &bytes[static_cast<size_t>(record) * 56 + 4 + 4 * static_cast<size_t>(j_south * 4 + i)], 4);
    return v;
  };
  // Row j from the north is row 2 - j from the south.
  EXPECT_EQ(value(0, 0, 2), 9999.0f);
  EXPECT_EQ(value(0, 1, 2), 9.999e20f);
  EXPECT_EQ(value(0, 3, 0), 31009.0f);
  // Specific humidity derived at 1.5 hPa with the converter's table and
  // formula, missing where temperature or humidity is.
  for (int p = 0; p < 12; ++p) {
    const int i = p % 4, j_south = 2 - p / 4;
    const double t = fields[2].values[p], rh = fields[1].values[p];
    const float expected = std::isnan(t) || std::isnan(rh) ? 9.999e20f
                                                           : reference_q(static_cast<float>(t), static_cast<float>(rh), 1.5f);
    EXPECT_TRUE(same_bits(value(2, i, j_south), expected)) << p;
  }
  EXPECT_NE(r.out.find("derived:\n  specific humidity from temperature and relative humidity at 1.5 hPa, at 2024010100\n"),
            std::string::npos)
      << r.out;
}

TEST_F(ImportGrib, RefusesBadInputWithOneDiagnosticAndNoDataTimeFile) {
  write({1, "grid_simple", false, false, nullptr});
  const std::vector<unsigned char> pl = file_bytes(dir.file("pl.grib"));
  write_file(dir.file("letters.grib"), "these bytes merely hold the letters GRIB and 7777\n");
  write_file(dir.file("empty.grib"), "");
  write_file(dir.file("cut.grib"), text_of({pl.begin(), pl.end() - 10}));
  write_file(dir.file("a_file"), "x");
  // A GRIB2 file whose first message lost its end marker "7777".
  write_era5_grib(data, {2, "grid_simple", false, false, nullptr}, dir.file("pl2.grib"), dir.file("sfc2_.grib"));
  std::vector<unsigned char> damaged = file_bytes(dir.file("pl2.grib"));
  const size_t first_length = damaged[12] * 16777216u + damaged[13] * 65536u + damaged[14] * 256u + damaged[15];
  damaged[first_length - 1] = 'X';
  write_file(dir.file("damaged.grib"), text_of(damaged));
  // A GRIB1 file whose second message has a length field 40 bytes short:
  // the message is damaged, not followed by stray bytes.
  std::vector<unsigned char> shortened = pl;
  const size_t length1 = pl[4] * 65536u + pl[5] * 256u + pl[6];
  const size_t length2 = pl[length1 + 4] * 65536u + pl[length1 + 5] * 256u + pl[length1 + 6];
  shortened[length1 + 5] = static_cast<unsigned char>((length2 - 40) / 256);
  shortened[length1 + 6] = static_cast<unsigned char>((length2 - 40) % 256);
  write_file(dir.file("shortened.grib"), text_of(shortened));
  const std::string shortened_diagnostic = "shortened.grib: message 2: does not end with the GRIB end marker 7777 where "
                                           "its length says: the message is damaged (it starts at byte " +
                                           std::to_string(length1) + ", its length field gives " +
                                           std::to_string(length2 - 40) + " bytes)";
  write_era5_grib(data, {1, "grid_simple", false, false, no_meridional_wind}, dir.file("pl_no_v.grib"), dir.file("sfc2.grib"));
  // The 850 hPa temperature of the first data time again, with other values.
  GribMessage other;
  other.param_id = 130;
  other.level_type = "isobaricInhPa";
  other.level = 850;
  other.grid = {8, 5, 90, -90, 0, 315, false, false};
  other.values.assign(40, 250.0);
  append_grib(dir.file("other_t.grib"), other);
  // The same field on a Gaussian grid.
  GribMessage gaussian = other;
  gaussian.sample = "regular_gg_pl_grib1";
  gaussian.values.assign(6114, 250.0);
  append_grib(dir.file("gaussian.grib"), gaussian);

  struct Case {
    const char* arguments;
    const char* diagnostic;  // the whole line after "import_data_times: "
  };
  const Case cases[] = {
      {"letters.grib", "letters.grib: neither GRIB nor NetCDF (it starts with neither a GRIB message nor a NetCDF header, "
                       "and is no zip archive or gzip, bzip2 or xz stream)"},
      {"empty.grib", "empty.grib: empty file"},
      {"cut.grib sfc.grib", "cut.grib: message 36 is cut short: it starts at byte "},
      {"missing.grib", "missing.grib: cannot open: No such file or directory"},
      {"damaged.grib", "damaged.grib: message 1: does not end with the GRIB end marker 7777 where its length says"},
      {"shortened.grib", shortened_diagnostic.c_str()},
      {"pl.grib other_t.grib sfc.grib",
       "other_t.grib: message 1: holds temperature again, with other values (also in pl.grib: message 11)"},
      {"sfc.grib", "sfc.grib: no upper-air field at all at 2024010100"},
      {"pl_no_v.grib sfc.grib", "pl_no_v.grib, sfc.grib: no meridional wind at any pressure level at 2024010100"},
      {"gaussian.grib", "gaussian.grib: fields on a regular Gaussian grid (N32, about 2.79 degrees): give the grid to write "
                        "with --grid, for instance --grid 2.5"},
      {"--out a_file/out pl.grib sfc.grib", "a_file/out: cannot create the output folder: Not a directory"},
      {"--area 10/10/10/10 pl.grib sfc.grib", "--area 10/10/10/10: keeps 0 x 0 points of the grid"},
      {"--area 45/0/0/0 pl.grib sfc.grib", "--area 45/0/0/0: keeps 1 x 2 points of the grid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::filesystem::remove_all(dir.file("out"));
    const std::string arguments = std::string(c.arguments);
    const RunResult r = import(dir, arguments.find("--out") == std::string::npos ? "--out out " + arguments : arguments);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind(std::string("import_data_times: ") + c.diagnostic, 0), 0u) << r.err;
    for (const std::string& name : all_files(dir.file("out"))) EXPECT_EQ(name.find(".bin"), std::string::npos) << name;
  }
}

// Damaged messages on which ecCodes itself fails (found by fuzzing): the
// import ends with exit status 2 and one line naming the message, not with
// a crash of the library's.
TEST(ImportGribDamage, EndsWithOneDiagnosticWhereEcCodesFails) {
  const std::string regressions = std::string(SOURCE_DIR) + "/tests/fuzz/regressions/import_fuzzer/";
  struct Case {
    std::string file;
    const char* diagnostic;
    bool crashes_library;  // a signal, which the sanitizer build reports itself
  };
  const Case cases[] = {
      {regressions + "eccodes_assertion_in_complex_unpacking", ": message 1: the message is damaged (ecCodes assertion failed", false},
      {regressions + "double_free_in_later_field", ": message 4: ecCodes cannot step through the fields of this message", false},
      {regressions + "double_free_incomplete_first_field", ": message 2: its sections end before its end marker", false},
      {std::string(SOURCE_DIR) + "/tests/data/grib1_step_divides_by_zero.grib",
       ": message 3: the file is damaged (its library stopped on signal Floating point exception)", true},
      // ecCodes never returns from working out this message's validity time.
      {std::string(SOURCE_DIR) + "/tests/data/grib1_step_never_ends.grib",
       ": the file is damaged (its library did not return within 2 s)", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
#ifdef I2M_SANITIZER_BUILD
    if (c.crashes_library) continue;
#endif
    TempDir dir;
    const RunResult r = import(dir, "--allow-missing-surface --library-time-limit 2 --out out '" + c.file + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.diagnostic), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("import_data_times: " + c.file, 0), 0u) << r.err;
  }
}

// Storage that cannot be had is the machine's problem, not the file's:
// exit status 1 and the storage line, never a crash or a file blamed.
TEST(ImportGribMemory, StorageThatCannotBeHadEndsWithStatusOne) {
#ifdef I2M_SANITIZER_BUILD
  GTEST_SKIP() << "the sanitizer's runtime reserves terabytes of address space";
#endif
  TempDir dir;
  // 8000 x 4000 points of one value each (a few bytes per message): the
  // import's buffers alone need more than a gigabyte.
  GribMessage m;
  m.edition = 2;
  m.grid = {8000, 4000, 80, -79.96, 0, 319.96, false, false};
  m.level_type = "isobaricInhPa";
  m.level = 500;
  for (long param : {129L, 157L, 130L, 131L, 132L}) {
    m.param_id = param;
    m.values.assign(8000 * 4000, 250.0);
    append_grib(dir.file("big.grib2"), m);
  }
  const RunResult r = run_command(dir.path(), "ulimit -v 600000; '" IMPORT_DATA_TIMES_PATH
                                              "' --allow-missing-surface --out out big.grib2");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find("Allocation would exceed memory limit"), std::string::npos) << r.err;
  for (const std::string& name : all_files(dir.file("out"))) EXPECT_EQ(name.find(".bin"), std::string::npos) << name;
}

TEST(ImportGribCommandLine, RefusesBadOptionsWithStatusTwo) {
  TempDir dir;
  const char* const lines[] = {"", "--area 1/2/3 x.grib", "--area 10/0/20/5 x.grib", "--levels 850,-5 x.grib",
                               "--levels 850,abc x.grib", "--model 'two words' x.grib", "--model a/b x.grib",
                               "--nonsense x.grib"};
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    const RunResult r = import(dir, line);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("import_data_times: ", 0), 0u) << r.err;
  }
  const RunResult help = import(dir, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--area N/W/S/E"), std::string::npos) << help.out;
}

}  // namespace
