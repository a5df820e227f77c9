// The verdict of inspect_work_file on what the values mean: the converted
// GFS sample is ready, and copies of it damaged as real work files have
// been (a field left at zero, a level in Celsius, a fill value in a box,
// two levels swapped, a constant field) are not, each naming its record.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/data_time.h"

namespace {

using namespace testing_support;

const std::string kTool = INSPECT_WORK_FILE_PATH;
const std::string kGfsSample = std::string(SOURCE_DIR) + "/examples/gfs/gfs_2p5deg_subset.grib2";

// The sample's grid and levels: 144 x 73 points, 25 levels from 1000 hPa up
// (1000, 975, 950, 925, 900, 850, 800, 750, 700, 650, ..., 500 is level 13).
constexpr int kIm = 144, kJm = 73, kLm = 25;
constexpr size_t kPoints = static_cast<size_t>(kIm) * kJm;

// Work-file records (1-based) by the converter's order: u v z q t, then the surface.
int z_record(int level) { return 2 * kLm + level; }
int q_record(int level) { return 3 * kLm + level; }
int t_record(int level) { return 4 * kLm + level; }
int surface_record(int slice) { return 5 * kLm + slice; }

std::string g(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

class Verdict : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(run_importer(dir.path(), "--out . '" + kGfsSample + "'").status, 0);
    ASSERT_EQ(run_converter(dir.path(), "gfs_2011011512.bin\nx\n").status, 0);
    work = file_bytes(dir.file("gfs_2011011512.bin.ZEPwrk"));
    ASSERT_EQ(work.size(), (5 * kLm + 12) * kPoints * 4);
  }
  float& at(std::vector<float>& records, int record, int i, int j) {
    return records[(static_cast<size_t>(record) - 1) * kPoints + static_cast<size_t>(j - 1) * kIm + (i - 1)];
  }
  std::vector<float> records() const {
    std::vector<float> v(work.size() / 4);
    std::memcpy(v.data(), work.data(), work.size());
    return v;
  }
  // Writes the records as work file NAME beside the sample's .gdsinfo and
  // runs the summary on it.
  RunResult summary(const std::string& name, const std::vector<float>& values, const std::string& options = "") {
    write_file(dir.file(name), std::string(reinterpret_cast<const char*>(values.data()), values.size() * 4));
    write_file(dir.file(name + ".gdsinfo"), read_file(dir.file("gfs_2011011512.bin.ZEPwrk.gdsinfo")));
    return run_command(dir.path(), "'" + kTool + "' summary " + name + " " + options);
  }

  TempDir dir;
  std::vector<unsigned char> work;
};

TEST_F(Verdict, DamagedCopiesOfTheGfsSampleAreNotReadyNamingTheRecord) {
  const std::vector<float> sample = records();
  RunResult r = summary("sample.ZEPwrk", sample);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\nverdict: ready ("), std::string::npos) << r.out;

  struct Case {
    const char* name;
    std::function<void(std::vector<float>&)> damage;
    std::function<std::vector<std::string>(const std::vector<float>&)> problems;  // from the damaged values
  };
  const Case cases[] = {
      {"sea-level pressure 0 everywhere",
       [&](std::vector<float>& v) { std::fill_n(&at(v, surface_record(2), 1, 1), kPoints, 0.0f); },
       [](const std::vector<float>&) {
         return std::vector<std::string>{"record 127 (msl) holds 10512 values outside 850 to 1100 hPa, the first at i=1 j=1 (0)",
                                         "record 127 (msl) holds one value everywhere (0)"};
       }},
      {"the 850 hPa temperature in Celsius",
       [&](std::vector<float>& v) {
         for (size_t p = 0; p < kPoints; ++p) (&at(v, t_record(6), 1, 1))[p] -= 273.15f;
       },
       [&](const std::vector<float>& v) {
         std::vector<float> copy = v;
         return std::vector<std::string>{"record 106 (t at 850 hPa) holds 10512 values outside 150 to 350 K, the first at "
                                         "i=1 j=1 (" + g(at(copy, t_record(6), 1, 1)) + ")"};
       }},
      {"specific humidity of 1e20 in a box of 10 x 10 points",
       [&](std::vector<float>& v) {
         for (int j = 20; j < 30; ++j) {
           for (int i = 10; i < 20; ++i) at(v, q_record(13), i, j) = 1e20f;
         }
       },
       [](const std::vector<float>&) {
         return std::vector<std::string>{
             "record 88 (q at 500 hPa) holds 100 values outside 0 to 0.05 kg/kg, the first at i=10 j=20 (1e+20)"};
       }},
      {"the heights of 700 and 650 hPa swapped",
       [&](std::vector<float>& v) { std::swap_ranges(&at(v, z_record(9), 1, 1), &at(v, z_record(10), 1, 1), &at(v, z_record(10), 1, 1)); },
       [&](const std::vector<float>& v) {
         std::vector<float> copy = v;
         return std::vector<std::string>{"record 60 (z at 650 hPa) is not above record 59 (z at 700 hPa) at 10512 points, "
                                         "the first at i=1 j=1 (" + g(at(copy, z_record(10), 1, 1)) + " m against " +
                                         g(at(copy, z_record(9), 1, 1)) + " m)"};
       }},
      {"surface pressure 1000 hPa everywhere",
       [&](std::vector<float>& v) { std::fill_n(&at(v, surface_record(3), 1, 1), kPoints, 1000.0f); },
       [](const std::vector<float>&) {
         return std::vector<std::string>{"record 128 (sp) holds one value everywhere (1000)"};
       }},
      {"surface pressure of 350 hPa at one point, as on a high plateau",
       [&](std::vector<float>& v) { at(v, surface_record(3), 40, 50) = 350.0f; },
       [](const std::vector<float>&) {
         return std::vector<std::string>{"record 128 (sp) holds 1 values outside 400 to 1100 hPa, the first at i=40 j=50 (350)"};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> damaged = sample;
    c.damage(damaged);
    r = summary("damaged.ZEPwrk", damaged);
    EXPECT_EQ(r.status, 1) << r.out;
    const std::vector<std::string> problems = c.problems(damaged);
    std::string expected = "verdict: NOT READY, " + std::to_string(problems.size()) + " problems:\n";
    for (const std::string& p : problems) expected += "  " + p + "\n";
    EXPECT_NE(r.out.find("\n" + expected), std::string::npos) << r.out;
    EXPECT_EQ(r.out.size() - r.out.find("\nverdict: ") - 1, expected.size()) << r.out;
  }

  // A bounds file that widens the surface pressure's bound for a plateau.
  write_file(dir.file("plateau.txt"), "# a plateau domain\nsp  300 1100   # hPa\n");
  std::vector<float> plateau = sample;
  at(plateau, surface_record(3), 40, 50) = 350.0f;
  r = summary("plateau.ZEPwrk", plateau, "--bounds plateau.txt");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("\nverdict: ready ("), std::string::npos) << r.out;
}

TEST_F(Verdict, TheSeasonReportListsTheSameProblems) {
  std::vector<float> damaged = records();
  std::fill_n(&at(damaged, surface_record(2), 1, 1), kPoints, 0.0f);
  summary("gfs_2011011518.bin.ZEPwrk", damaged);
  const RunResult r = run_command(dir.path(), "'" + kTool + "' report gfs_2011011512.bin.ZEPwrk gfs_2011011518.bin.ZEPwrk "
                                                              "--out season --thumbnails msl");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote season/index.html: 2 data times, 1 not ready\n");
  const std::string page = read_file(dir.file("season/index.html"));
  EXPECT_NE(page.find("record 127 (msl) holds 10512 values outside 850 to 1100 hPa, the first at i=1 j=1 (0)"),
            std::string::npos);
}

TEST(BoundsFile, MistakesAreNamedWithTheirLine) {
  TempDir dir;
  const struct {
    const char* text;
    const char* diagnostic;
  } cases[] = {
      {"t 150\n", "bad.txt: line 1: expected NAME MIN MAX"},
      {"# fine\nwind 0 100\n", "bad.txt: line 2: no field \"wind\""},
      {"t 350 150\n", "bad.txt: line 1: MIN is above MAX"},
      {"sp:500 300 1100\n", "bad.txt: line 1: a level is given as NAME:LEVEL in hPa, for u v z q t"},
      {"t abc 300\n", "bad.txt: line 1: MIN and MAX must be numbers"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    write_file(dir.file("bad.txt"), c.text);
    const RunResult r = run_command(dir.path(), "'" + kTool + "' summary absent.ZEPwrk --bounds bad.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind(std::string("inspect_work_file: ") + c.diagnostic, 0), 0u) << r.err;
  }
}

}  // namespace
