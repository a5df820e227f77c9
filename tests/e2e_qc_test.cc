// End-to-end runs of the quality control: the stop lines, the RH patch in a
// whole run, the land-sea mask and markers, and the soil fill, checked in
// the log, the exit status and the work file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/expected.h"

namespace {

using namespace testing_support;

const std::string kHead =
    " using hardwired stuff!            4           3           3\n"
    "   1000.00000       850.000000       700.000000    \n"
    " TESTMODEL\n"
    " OPEN FILE in.bin\n"
    " Check for any missing data\n";

class QualityControl : public ::testing::Test {
 protected:
  void SetUp() override { data = make_data_time(4, 3, 3, {1000.0f, 850.0f, 700.0f}); }
  RunResult run() {
    std::remove(dir.file("in.bin.ZEPwrk").c_str());
    std::remove(dir.file("in.bin.ZEPwrk.gdsinfo").c_str());
    write_data_time(dir.path(), data);
    return run_converter(dir.path(), "in.bin\nx\n");
  }
  void mark_level(std::vector<float>& field, int k, float marker = kInputMissing) { data.at(field, 1, 1, k) = marker; }
  std::vector<std::vector<float>> work() { return read_work_records(dir.file("in.bin.ZEPwrk"), data); }
  float work_value(int record, int i, int j) { return work()[record - 1][(j - 1) * data.im + (i - 1)]; }
  void expect_data_stop(const RunResult& r, const std::string& log_after_head) {
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, kHead + log_after_head);
    EXPECT_EQ(visible_files(dir.path()), (std::vector<std::string>{"InputModelInf.txt", "adate.txt", "in.bin"}));
  }

  TempDir dir;
  DataTime data;
};

TEST_F(QualityControl, StopsOnAMissingLevelWithItsLine) {
  struct Case {
    std::vector<float> DataTime::*field;
    float marker;
    const char* line;
  };
  const Case cases[] = {
      {&DataTime::ht, kInputMissing, " Height data missing at level:    850.000000    \n"},
      {&DataTime::tp, kMissing, " Temperature data missing at level:    850.000000    \n"},
      {&DataTime::uw, kInputMissing, " U-wind data missing at level:    850.000000    \n"},
      {&DataTime::vw, kMissing, " V-wind data missing at level:    850.000000    \n"},
      {&DataTime::q, kInputMissing, " Spec. Humid. data missing at level:    850.000000    \n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    SetUp();
    mark_level(data.*c.field, 2, c.marker);
    expect_data_stop(run(), c.line);
  }
}

TEST_F(QualityControl, TakesLevelsBeforeFields) {
  mark_level(data.ht, 2);
  mark_level(data.tp, 1);
  expect_data_stop(run(), " Temperature data missing at level:    1000.00000    \n");
  SetUp();
  mark_level(data.ht, 1);
  mark_level(data.tp, 1);
  expect_data_stop(run(), " Height data missing at level:    1000.00000    \n");
}

TEST_F(QualityControl, PatchLevelSkipsTheWindTestOnlyThere) {
  mark_level(data.rh, 1);
  mark_level(data.uw, 1);
  const RunResult r = run();
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string expected = kHead +
                               " RH data missing at level:    1000.00000    \n"
                               " Calling RH patch.\n"
                               " Copying         850  mb to        1000  mb.\n"
                               " going to use nsfcfld=           12\n";
  EXPECT_EQ(r.out.substr(0, expected.size()), expected);
  // The U-wind gap goes to the work file as the system's marker.
  EXPECT_EQ(work_value(1, 1, 1), kMissing);

  SetUp();
  mark_level(data.rh, 1);
  mark_level(data.uw, 2);
  expect_data_stop(run(),
                   " RH data missing at level:    1000.00000    \n"
                   " Calling RH patch.\n"
                   " Copying         850  mb to        1000  mb.\n"
                   " U-wind data missing at level:    850.000000    \n");
}

TEST_F(QualityControl, PatchFailuresAreDataStops) {
  mark_level(data.rh, 2);
  expect_data_stop(run(), " RH data missing at level:    850.000000    \n Calling RH patch.\n RH patch did not work..\n");
  SetUp();
  for (int k = 1; k <= 3; ++k) mark_level(data.rh, k);
  expect_data_stop(run(), " RH data missing at level:    1000.00000    \n Calling RH patch.\n RH patch did not work.\n");
}

TEST_F(QualityControl, PatchedLevelsReachTheWorkFile) {
  mark_level(data.rh, 3);
  data.at(data.rh, 2, 2, 3) = 12.5f;  // a value that must be overwritten by the copy
  const RunResult r = run();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" checking RH at lev=    850.000000    \n Copying         850  mb to         700  mb.\n"),
            std::string::npos);
  DataTime patched = data;
  std::copy(data.level(data.rh, 2), data.level(data.rh, 3), patched.level(patched.rh, 3));
  std::string detail;
  EXPECT_EQ(first_record_difference(work(), expected_work_records(patched), detail), -1) << detail;
}

TEST_F(QualityControl, ReducesTheLandSeaMaskAndMapsMarkers) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float mask_in[] = {0.1f, 0.0999f, -5.0f, 37.0f, nan, kInputMissing};
  const float mask_out[] = {1.0f, 0.0f, 0.0f, 1.0f, nan, 1.0f};
  for (int p = 0; p < 6; ++p) data.at(data.slp, 1 + p % 4, 1 + p / 4, 1) = mask_in[p];
  data.at(data.slp, 2, 2, 2) = kInputMissing;  // surface fields: the marker becomes 0.0
  data.at(data.slp, 3, 3, 4) = kInputMissing;
  data.at(data.ht, 2, 2, 1) = kInputMissing;  // 3-D fields: the marker becomes -99999.0
  data.at(data.ht, 3, 2, 1) = 1.0e21f;        // an ordinary value
  data.at(data.tp, 4, 3, 2) = kMissing;       // the system's marker from the input stays
  data.at(data.rh, 2, 3, 1) = kInputMissing;  // and flows into the humidity
  data.at(data.uw, 1, 1, 2) = nan;            // a NaN at a first point is present
  const RunResult r = run();
  ASSERT_EQ(r.status, 0) << r.err;

  const int lm = 3, surface = 5 * lm;
  for (int p = 0; p < 6; ++p) {
    const float v = work_value(surface + 1, 1 + p % 4, 1 + p / 4);
    EXPECT_TRUE(same_bits(v, mask_out[p]) || (std::isnan(v) && std::isnan(mask_out[p]))) << p;
  }
  EXPECT_TRUE(same_bits(work_value(surface + 2, 2, 2), 0.0f));
  EXPECT_TRUE(same_bits(work_value(surface + 4, 3, 3), 0.0f));
  EXPECT_EQ(work_value(2 * lm + 1, 2, 2), kMissing);
  EXPECT_EQ(work_value(2 * lm + 1, 3, 2), 1.0e21f);
  EXPECT_EQ(work_value(4 * lm + 2, 4, 3), kMissing);
  EXPECT_EQ(work_value(3 * lm + 1, 2, 3), reference_q(data.at(data.tp, 2, 3, 1), kMissing, 1000.0f));
  EXPECT_TRUE(std::isnan(work_value(2, 1, 1)));
}

TEST_F(QualityControl, CapsSoilMoistureBeforeCopyingLayers) {
  data.at(data.slp, 1, 2, 6) = 0.6f;
  data.at(data.slp, 2, 2, 6) = 0.61f;
  data.at(data.slp, 3, 2, 8) = 0.9f;
  data.at(data.slp, 1, 1, 12) = kMissing;  // layer 4 moisture missing: copied from layer 2
  const RunResult r = run();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" going to use nsfcfld=           12\n"
                       " SURFACE DATA MISSING...           12\n"
                       " filling soil moisture data...\n"
                       " in.bin.ZEPwrk "),
            std::string::npos)
      << r.out;
  const int surface = 15;
  EXPECT_EQ(work_value(surface + 6, 1, 2), 0.6f);
  EXPECT_EQ(work_value(surface + 6, 2, 2), 0.3f);
  EXPECT_EQ(work_value(surface + 8, 3, 2), 0.3f);
  EXPECT_EQ(work()[surface + 12 - 1], work()[surface + 8 - 1]);
}

TEST_F(QualityControl, ReplacesMissingDeepLayersAfterLayerTwoIsFilled) {
  DataTime& d = data;
  d = make_data_time(24, 2, 1, {850.0f});
  // Layer 2 temperature: row 1 with twenty leading zeros, row 2 with an interior gap.
  for (int i = 1; i <= 24; ++i) d.at(d.slp, i, 1, 7) = i <= 20 ? 0.0f : 275.0f;
  d.at(d.slp, 5, 2, 7) = 0.0f;
  d.at(d.slp, 1, 1, 11) = kMissing;
  d.at(d.slp, 1, 1, 6) = kMissing;  // layer 1 moisture: reported, not copied
  for (int i = 2; i <= 4; ++i) d.at(d.slp, i, 1, 6) = 0.0f;
  write_data_time(dir.path(), d);
  const RunResult r = run_converter(dir.path(), "in.bin\nx\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" going to use nsfcfld=           12\n"
                       " SURFACE DATA MISSING...            6\n"
                       " SURFACE DATA MISSING...           11\n"
                       " filling soil temp data...\n"),
            std::string::npos);
  const auto records = read_work_records(dir.file("in.bin.ZEPwrk"), d);
  const int surface = 5;
  const std::vector<float>& layer2 = records[surface + 7 - 1];
  const std::vector<float>& layer4 = records[surface + 11 - 1];
  // Layer 2: fifteen iterations fill the 15 easternmost of the 20 leading zeros.
  for (int i = 1; i <= 24; ++i) EXPECT_EQ(layer2[i - 1], i <= 5 ? 0.0f : 275.0f) << i;
  EXPECT_EQ(layer2[24 + 4], d.at(d.slp, 6, 2, 7));  // a single interior zero takes its east neighbour
  // Layer 4 is the filled layer 2, then filled fifteen more times.
  for (int i = 1; i <= 24; ++i) EXPECT_EQ(layer4[i - 1], 275.0f) << i;
  EXPECT_EQ(std::vector<float>(layer4.begin() + 24, layer4.end()), std::vector<float>(layer2.begin() + 24, layer2.end()));
  // Layer 1 moisture: the marker stays and spreads east into the zeros of
  // row 1, except at their eastern end, which the east pass fills first.
  const std::vector<float>& moisture1 = records[surface + 6 - 1];
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(moisture1[i - 1], kMissing) << i;
  EXPECT_EQ(moisture1[3], d.at(d.slp, 5, 1, 6));
}

TEST_F(QualityControl, MarkersThatBecameZeroAreFilledNotReported) {
  for (int i = 1; i <= 4; ++i) data.at(data.slp, i, 1, 9) = kInputMissing;
  data.at(data.slp, 4, 1, 9) = 281.5f;
  const RunResult r = run();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("SURFACE DATA MISSING"), std::string::npos);
  for (int i = 1; i <= 4; ++i) EXPECT_EQ(work_value(15 + 9, i, 1), 281.5f) << i;
}

// Temperatures that no 32-bit code holds read the coldest entry of the
// table, as the most negative integer would after being raised to 15000.
TEST_F(QualityControl, TemperaturesBeyondTheIntegerRangeReadTheColdestEntry) {
  const float beyond[] = {std::numeric_limits<float>::infinity(), 1e30f, 2.2e7f};
  for (int p = 0; p < 3; ++p) data.at(data.tp, 2 + p, 2, 1 + p) = beyond[p];
  const RunResult r = run();
  ASSERT_EQ(r.status, 0) << r.err;
  const float e15000 = reference_esat(15000);
  for (int p = 0; p < 3; ++p) {
    const int k = 1 + p;
    const float rh = data.at(data.rh, 2 + p, 2, k);
    const float pr = data.pr[k - 1];
    const float product = 0.00622f * e15000;
    const float difference = pr - e15000;
    const float expected = rh * (product / difference);
    EXPECT_TRUE(same_bits(work_value(3 * 3 + k, 2 + p, 2), expected)) << "T = " << beyond[p];
    EXPECT_GT(expected, 0.0f);
    EXPECT_LT(expected, 1e-9f);
  }
}

}  // namespace
