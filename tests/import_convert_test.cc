// Work files straight from the import (--convert): for GRIB and NetCDF
// sources of several data times, one of which the converter stops on, the
// work files, .gdsinfo files and logs are byte for byte those of importing
// and then running the converter on each record file; the log folder is a
// batch's, which the season tools read.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "support/data_time.h"
#include "support/era5_like.h"
#include "support/netcdf_writer.h"

namespace {

using namespace testing_support;

RunResult import(const TempDir& dir, const std::string& arguments) { return run_importer(dir.path(), arguments); }

// The second data time lacks its temperature at 500 hPa: written missing,
// the converter stops on it.
bool no_second_500_temperature(int v, size_t t, size_t k) { return v == kT && t == 1 && k == 2; }

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

TEST(ImportConvert, WritesWhatImportingThenConvertingWritesFromGribAndNetcdf) {
  struct Case {
    const char* name;
    std::function<void(const Era5Like&, const TempDir&)> write;
  };
  const Case cases[] = {
      {"GRIB", [](const Era5Like& d, const TempDir& dir) {
         write_era5_grib(d, {1, "grid_simple", false, false, no_second_500_temperature}, dir.file("pl.src"), dir.file("sfc.src"));
       }},
      {"NetCDF", [](const Era5Like& d, const TempDir& dir) {
         NetcdfLayout layout;
         layout.newer = true;
         layout.leave_out = no_second_500_temperature;
         write_era5_netcdf(d, layout, dir.file("pl.src"), dir.file("sfc.src"));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    c.write(Era5Like{}, dir);
    // (a) import, then the converter on each record file, as a batch gives
    // it: the absolute path.
    RunResult r = import(dir, "--out a --levels 1000,850,500 pl.src sfc.src");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string model = r.out.substr(r.out.find("model name: ") + 12);
    model = model.substr(0, model.find('\n'));
    const std::string stem = model == "ERA5" ? "era5_" : "netcdf_";
    for (const char* time : {"2024010100", "2024010106"}) {
      const std::string input = dir.file("a/" + stem + time + ".bin");
      r = run_converter(dir.file("a"), input + "\nbatch\n");
      ASSERT_EQ(r.status, std::string(time) == "2024010100" ? 0 : 3) << r.err;
      write_file(dir.file(std::string("a/") + time + ".log"), r.out);
    }
    // (b) the work files straight from the import.
    r = import(dir, "--convert --out b --levels 1000,850,500 pl.src sfc.src");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.err, "import_data_times: b: 1 data time stopped on data the converter cannot repair (the last line of "
                     "each log in b/logs says why)\n");
    const std::string first = stem + "2024010100.bin";
    EXPECT_TRUE(file_bytes(dir.file("b/" + first + ".ZEPwrk")) == file_bytes(dir.file("a/" + first + ".ZEPwrk")));
    EXPECT_EQ(read_file(dir.file("b/" + first + ".ZEPwrk.gdsinfo")), read_file(dir.file("a/" + first + ".ZEPwrk.gdsinfo")));
    for (const char* time : {"2024010100", "2024010106"}) {
      const std::string log = read_file(dir.file("b/logs/00000" + std::string(time == std::string("2024010100") ? "1" : "2") +
                                                 "_" + stem + time + ".bin.log"));
      EXPECT_EQ(replaced(log, dir.file("b/"), dir.file("a/")), read_file(dir.file(std::string("a/") + time + ".log"))) << time;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("b/" + first))) << "no record file without --keep-input";
    EXPECT_FALSE(std::filesystem::exists(dir.file("b/" + stem + "2024010106.bin.ZEPwrk")));
    // The season tools read the folder as a batch's.
    r = run_command(dir.path(), "bash '" SOURCE_DIR "/tools/batch_report.sh' --verify b/logs");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("converted: 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("stopped on unrepairable data: 1\n  " + dir.file("b/" + stem + "2024010106.bin") +
                         ": Temperature data missing at level:    500.000000"),
              std::string::npos)
        << r.out;
    // A resume converts only what is not done.
    r = import(dir, "--convert --resume --out b --levels 1000,850,500 pl.src sfc.src");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.out.find("[1/2] 2024010100: done before, skipped\n"), std::string::npos) << r.out;
    // --keep-input writes the record files as the plain import does.
    r = import(dir, "--convert --keep-input --out k --levels 1000,850,500 pl.src sfc.src");
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(file_bytes(dir.file("k/" + first)) == file_bytes(dir.file("a/" + first)));
  }
}

}  // namespace
