// End-to-end tests of inspect_work_file on work files that the converter
// wrote from generated inputs with known contents.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/expected.h"

namespace {

using namespace testing_support;

const std::string kTool = INSPECT_WORK_FILE_PATH;

class InspectWorkFile : public ::testing::Test {
 protected:
  // A 6 x 4 x 2 data time with a missing height, a NaN wind, an infinite
  // temperature and a soil row that no fill can reach.
  void SetUp() override {
    d = make_data_time(6, 4, 2, {1000.0f, 850.0f});
    d.at(d.ht, 3, 2, 2) = kInputMissing;
    d.at(d.uw, 5, 4, 1) = std::numeric_limits<float>::quiet_NaN();
    d.at(d.tp, 2, 3, 1) = std::numeric_limits<float>::infinity();
    for (int i = 1; i <= 6; ++i) d.at(d.slp, i, 3, 8) = 0.0f;
    write_data_time(dir.path(), d);
    const RunResult r = run_converter(dir.path(), "in.bin\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    work = dir.file("in.bin.ZEPwrk");
    expected = d;
    expected.at(expected.ht, 3, 2, 2) = kMissing;  // what the converter makes of the marker
  }
  RunResult tool(const std::string& args) { return run_command(dir.path(), "'" + kTool + "' " + args); }

  // The summary line of a record, split into its columns after the names.
  std::vector<std::string> columns_of(const std::string& out, int record) {
    std::istringstream lines(out);
    std::string line;
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%4d  ", record);
    while (std::getline(lines, line)) {
      if (line.rfind(prefix, 0) != 0) continue;
      std::istringstream words(line.substr(48));  // the columns after rec, field, unit, hPa
      std::vector<std::string> cols;
      for (std::string w; words >> w;) cols.push_back(w);
      return cols;
    }
    return {};
  }

  TempDir dir;
  DataTime d, expected;
  std::string work;
};

std::string g6(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", v);
  return buffer;
}

TEST_F(InspectWorkFile, SummaryFiguresMatchTheRecords) {
  const RunResult r = tool("in.bin.ZEPwrk summary");
  EXPECT_EQ(r.status, 1) << r.err;
  const auto records = expected_work_records(expected);
  for (int rec : {1, 2, 6, 10, 11, 12, 18, 21}) {
    SCOPED_TRACE(rec);
    const std::vector<float>& v = records[rec - 1];
    float lo = 0, hi = 0;
    double sum = 0;
    long n = 0, missing = 0, nan = 0, inf = 0, zero = 0, zero_at_sea = 0;
    for (size_t p = 0; p < v.size(); ++p) {
      const float x = v[p];
      if (std::isnan(x)) { ++nan; continue; }
      if (x == kMissing) { ++missing; continue; }
      if (std::isinf(x)) ++inf;
      if (x == 0.0f) ++zero;
      if (x == 0.0f && records[11 - 1][p] == 0.0f) ++zero_at_sea;  // record 11: the land-sea mask
      lo = n == 0 ? x : std::fmin(lo, x);
      hi = n == 0 ? x : std::fmax(hi, x);
      sum += x;
      ++n;
    }
    const std::vector<std::string> cols = columns_of(r.out, rec);
    ASSERT_EQ(cols.size(), 9u) << r.out;
    EXPECT_EQ(cols[0], g6(lo));
    EXPECT_EQ(cols[1], g6(hi));
    EXPECT_EQ(cols[2], g6(sum / static_cast<double>(n)));
    EXPECT_EQ(cols[3], std::to_string(missing));
    EXPECT_EQ(cols[4], std::to_string(nan));
    EXPECT_EQ(cols[5], std::to_string(inf));
    EXPECT_EQ(cols[6], std::to_string(zero));
    // Zeros at sea points are counted apart, for the soil records only.
    EXPECT_EQ(cols[7], rec >= 15 ? std::to_string(zero_at_sea) : "-");
    // Plausible values: none outside its bounds.
    EXPECT_EQ(cols[8], "0");
  }
  // The verdict names each problem and where it first occurs.
  EXPECT_NE(r.out.find("verdict: NOT READY, 4 problems:"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("record 1 (u at 1000 hPa) holds 1 NaN, the first at i=5 j=4"), std::string::npos);
  EXPECT_NE(r.out.find("record 6 (z at 850 hPa) holds 1 missing values (-99999.0), the first at i=3 j=2"),
            std::string::npos);
  EXPECT_NE(r.out.find("record 9 (t at 1000 hPa) holds 1 infinite values, the first at i=2 j=3"), std::string::npos);
  // Row 3 of sm2 is all zeros; the mask is 0 where (i + j) % 3 == 0, so
  // points 3 and 6 are sea and 4 zeros lie over land.
  EXPECT_NE(r.out.find("record 18 (sm2) holds 4 zeros in a soil field over land, the first at i=1 j=3"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("note: the land-sea mask"), std::string::npos);
}

TEST_F(InspectWorkFile, ZerosAtSeaDoNotCountAndAnUnusableMaskCountsThemAll) {
  // Zeros of sm2 at sea points only: ready as far as the soil goes.
  const auto records = read_work_records(work, expected);
  std::vector<unsigned char> bytes = file_bytes(work);
  const size_t record_bytes = 4 * expected.points();
  auto set = [&](int record, int i, int j, float v) {
    std::memcpy(&bytes[(record - 1) * record_bytes + 4 * ((j - 1) * 6 + (i - 1))], &v, 4);
  };
  for (int i = 1; i <= 6; ++i) set(18, i, 3, (i + 3) % 3 == 0 ? 0.0f : 0.25f);
  write_file(work, std::string(bytes.begin(), bytes.end()));
  RunResult r = tool("in.bin.ZEPwrk summary");
  EXPECT_EQ(r.out.find("(sm2)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("verdict: NOT READY, 3 problems:"), std::string::npos) << r.out;

  // A mask that is not 0/1 tells nothing about the sea: every zero counts.
  set(11, 2, 2, 0.5f);
  write_file(work, std::string(bytes.begin(), bytes.end()));
  r = tool("in.bin.ZEPwrk summary");
  EXPECT_NE(r.out.find("note: the land-sea mask (record 11) holds values other than 0 and 1, so every zero of a soil field counts\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("record 18 (sm2) holds 2 zeros in a soil field over land, the first at i=3 j=3"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("record 11 (lsm) holds 1 values other than 0 and 1, the first at i=2 j=2 (0.5)"), std::string::npos)
      << r.out;
}

TEST(InspectWorkFileClean, ACleanWorkFileIsReady) {
  TempDir dir;
  write_data_time(dir.path(), make_data_time(5, 3, 1, {700.0f}));
  ASSERT_EQ(run_converter(dir.path(), "in.bin\nx\n").status, 0);
  const RunResult r = run_command(dir.path(), "'" + kTool + "' in.bin.ZEPwrk summary");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("verdict: ready"), std::string::npos);
  EXPECT_EQ(r.err, "");
}

TEST_F(InspectWorkFile, RejectsMissingShortAndMismatchedFiles) {
  struct Case {
    const char* name;
    std::function<void()> damage;
    const char* diagnostic;
  };
  const std::vector<unsigned char> bytes = file_bytes(work);
  const std::string gdsinfo = read_file(work + ".gdsinfo");
  const Case cases[] = {
      {"truncated work file", [&] { write_file(work, std::string(bytes.begin(), bytes.end() - 4)); },
       "in.bin.ZEPwrk: holds 2108 bytes, but its grid description (6 x 4 points, 2 levels) needs 2112"},
      {"missing .gdsinfo", [&] { std::remove((work + ".gdsinfo").c_str()); },
       "in.bin.ZEPwrk.gdsinfo: cannot open the grid description file"},
      {"missing work file", [&] { std::remove(work.c_str()); }, "in.bin.ZEPwrk: no such work file"},
      {".gdsinfo for another grid", [&] {
         std::string g = gdsinfo;
         g.replace(g.find("           6 kgds(2)"), 20, "           7 kgds(2)");
         write_file(work + ".gdsinfo", g);
       }, "(7 x 4 points, 2 levels) needs 2464"},
      {".gdsinfo cut short", [&] { write_file(work + ".gdsinfo", gdsinfo.substr(0, gdsinfo.find("Pa\n") + 3)); },
       "in.bin.ZEPwrk.gdsinfo: line 3: ends before the level pressures"},
      {".gdsinfo damaged", [&] { write_file(work + ".gdsinfo", gdsinfo.substr(0, 200) + "x\n"); },
       "in.bin.ZEPwrk.gdsinfo: line 10: expected the grid description line labelled kgds(6)"},
      {".gdsinfo claiming more points than any work file holds", [&] {
         std::string g = gdsinfo;
         g.replace(g.find("           6 kgds(2)"), 20, "   414337256 kgds(2)");
         g.replace(g.find("           4 kgds(3)"), 20, "   654721834 kgds(3)");
         write_file(work + ".gdsinfo", g);
       }, "in.bin.ZEPwrk.gdsinfo: claims 414337256 x 654721834 points, more than a work file holds"},
      // Numbers that wrap at 2^32 or carry trailing characters are not taken
      // for the numbers they begin with.
      {".gdsinfo with a number that wraps at 2^32", [&] {
         std::string g = gdsinfo;
         g.replace(g.find("           4 kgds(3)"), 20, "  4294967300 kgds(3)");
         write_file(work + ".gdsinfo", g);
       }, "in.bin.ZEPwrk.gdsinfo: line 7: the kgds(3) 4294967300 is out of its range (1 to 2147483647)"},
      {".gdsinfo with characters after a number", [&] {
         std::string g = gdsinfo;
         g.replace(g.find("           4 kgds(3)"), 20, "          4x kgds(3)");
         write_file(work + ".gdsinfo", g);
       }, "in.bin.ZEPwrk.gdsinfo: line 7: unexpected characters after the kgds(3) 4"},
      {".gdsinfo with characters after the level count", [&] {
         std::string g = gdsinfo;
         g.replace(0, g.find('\n'), "           2x  => Number of Levels");
         write_file(work + ".gdsinfo", g);
       }, "in.bin.ZEPwrk.gdsinfo: line 1: unexpected characters after the number of levels"},
      {".gdsinfo with characters after a pressure", [&] {
         std::string g = gdsinfo;
         const size_t second = g.find('\n', g.find('\n') + 1) + 1;
         g.insert(g.find('\n', second) , "x");
         write_file(work + ".gdsinfo", g);
       }, "in.bin.ZEPwrk.gdsinfo: line 3: unexpected characters after the pressure"},
      {".gdsinfo that is a FIFO", [&] {
         std::remove((work + ".gdsinfo").c_str());
         ASSERT_EQ(::mkfifo((work + ".gdsinfo").c_str(), 0600), 0);
       }, "in.bin.ZEPwrk.gdsinfo: not a regular file"},
      {"work file that is a FIFO", [&] {
         std::remove(work.c_str());
         ASSERT_EQ(::mkfifo(work.c_str(), 0600), 0);
       }, "in.bin.ZEPwrk: not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove(work.c_str());
    std::remove((work + ".gdsinfo").c_str());
    write_file(work, std::string(bytes.begin(), bytes.end()));
    write_file(work + ".gdsinfo", gdsinfo);
    c.damage();
    for (const char* command : {"summary", "ctl", "png 3"}) {
      const RunResult r = tool(std::string("in.bin.ZEPwrk ") + command);
      EXPECT_EQ(r.status, 2);
      EXPECT_NE(r.err.find(c.diagnostic), std::string::npos) << r.err;
    }
  }
}

TEST_F(InspectWorkFile, BothArgumentOrdersWork) {
  // The subcommand first, and the work file first as earlier versions took it.
  const RunResult first = tool("summary in.bin.ZEPwrk");
  const RunResult second = tool("in.bin.ZEPwrk summary");
  EXPECT_EQ(first.status, 1);
  EXPECT_EQ(first.out, second.out);
  EXPECT_EQ(first.status, second.status);
  for (const char* args : {"in.bin.ZEPwrk png t:123", "in.bin.ZEPwrk png 99"}) {
    SCOPED_TRACE(args);
    const RunResult r = tool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("inspect_work_file: ", 0), 0u) << r.err;
  }
}

// NetCDF has no room for an infinity in a float variable, so this work file
// holds ordinary values only.
TEST(InspectWorkFileClean, DescriptorOpensInCdo) {
  if (std::system("command -v cdo > /dev/null 2>&1") != 0) GTEST_SKIP() << "cdo not installed";
  TempDir dir;
  DataTime expected = make_data_time(6, 4, 2, {1000.0f, 850.0f});
  write_data_time(dir.path(), expected);
  ASSERT_EQ(run_converter(dir.path(), "in.bin\nx\n").status, 0);
  const std::string work = dir.file("in.bin.ZEPwrk");
  ASSERT_EQ(run_command(dir.path(), "'" + kTool + "' in.bin.ZEPwrk ctl --time 2024010112").status, 0);
  const std::string ctl = read_file(work + ".ctl");
  EXPECT_NE(ctl.find("TDEF 1 LINEAR 12Z01JAN2024 6hr\n"), std::string::npos) << ctl;
  EXPECT_NE(ctl.find("ZDEF 2 LEVELS 1000 850\n"), std::string::npos) << ctl;
  const RunResult import = run_command(dir.path(), "cdo -s -f nc import_binary in.bin.ZEPwrk.ctl out.nc");
  ASSERT_EQ(import.status, 0) << import.err;

  struct Probe {
    const char* select;
    std::vector<float>* field;
    int i, j, k;
  };
  const Probe probes[] = {{"-selname,t -sellevel,850", &expected.tp, 4, 3, 2},
                          {"-selname,v -sellevel,1000", &expected.vw, 6, 1, 1},
                          {"-selname,sp", &expected.slp, 2, 4, 3},
                          {"-selname,topo", &expected.slp, 5, 2, 4}};
  for (const Probe& p : probes) {
    SCOPED_TRACE(p.select);
    const RunResult r = run_command(dir.path(), std::string("cdo -s outputf,%.9g,1 ") + p.select + " out.nc");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream values(r.out);
    std::vector<double> all;
    for (double x; values >> x;) all.push_back(x);
    ASSERT_EQ(all.size(), 24u) << r.out;
    EXPECT_EQ(static_cast<float>(all[(p.j - 1) * 6 + (p.i - 1)]), expected.at(*p.field, p.i, p.j, p.k));
  }
}

}  // namespace
