// The naming rule and the layouts the scripts ask i2m_layout about: the
// answers come from the rules as the README states them, and i2m_layout is
// the program every script runs for them.

#include <gtest/gtest.h>

#include <string>

#include "common/data_time_name.h"
#include "support/data_time.h"

namespace {

using namespace testing_support;

RunResult layout(const TempDir& dir, const std::string& arguments) {
  return run_command(dir.path(), std::string(I2M_LAYOUT_PATH) + " " + arguments);
}

TEST(DataTimeInName, IsTheFirstRunOfExactlyTenDigitsInTheFileName) {
  struct Case {
    const char* name;
    const char* time;  // "" for none
  };
  const Case cases[] = {
      {"era5_2024010112.bin", "2024010112"},
      {"/data/2024010100/gfs_2024010206.bin", "2024010206"},  // the folder's digits are not the name's
      {"run_202401010000.bin", ""},                          // twelve digits: no data time
      {"in_20240101.bin", ""},                               // eight digits: no data time
      {"a2024010100b2024010112.bin", "2024010100"},          // the first of two
      {"x123_2024010112.bin", "2024010112"},
      {"2024010112", "2024010112"},
      {"nodigits.bin", ""},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(i2m::data_time_in_name(c.name), c.time);
    const RunResult r = layout(dir, std::string("data-time '") + c.name + "'");
    EXPECT_EQ(r.status, *c.time == '\0' ? 1 : 0);
    EXPECT_EQ(r.out, *c.time == '\0' ? std::string() : std::string(c.time) + "\n");
  }
}

TEST(Layout, SizesOfTheInputAndWorkFilesFromTheirDescriptions) {
  TempDir dir;
  write_data_time(dir.path(), make_data_time(6, 4, 3));
  ASSERT_EQ(run_converter(dir.path(), "in.bin\nx\n").status, 0);
  // Input: 6 lm + 12 = 30 records of 4 x 24 values and two 4-byte markers.
  RunResult r = layout(dir, "input-size InputModelInf.txt");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::to_string(30 * (4 * 24 + 8)) + " 30 " + std::to_string(4 * 24 + 8) + "\n");
  EXPECT_EQ(file_bytes(dir.file("in.bin")).size(), static_cast<size_t>(30 * (4 * 24 + 8)));
  // Work file: 5 lm + 12 = 27 records of 4 x 24 bytes.
  r = layout(dir, "work-size in.bin.ZEPwrk.gdsinfo");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::to_string(27 * 4 * 24) + "\n");
  r = layout(dir, "work-size in.bin.ZEPwrk");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("i2m_layout: in.bin.ZEPwrk: line 1: ", 0), 0u) << r.err;
  r = layout(dir, "work-size absent.gdsinfo");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "i2m_layout: absent.gdsinfo: cannot open the grid description file: No such file or directory\n");
  r = layout(dir, "sizes in.bin");
  EXPECT_EQ(r.status, 2) << "an unknown question is a usage error";
}

}  // namespace
