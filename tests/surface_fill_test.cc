#include "qc/surface_fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace i2m {
namespace {

// The fill as plainly described: fifteen iterations, each an east pass
// then a west pass, in place, with no early stop.
void reference_zero_fill(std::vector<float>& row) {
  const int im = static_cast<int>(row.size());
  for (int it = 0; it < 15; ++it) {
    for (int i = 0; i < im - 1; ++i) {
      if (row[i] == 0.0f && !(row[i + 1] == 0.0f)) row[i] = row[i + 1];
    }
    for (int i = 1; i < im; ++i) {
      if (row[i] == 0.0f && !(row[i - 1] == 0.0f)) row[i] = row[i - 1];
    }
  }
}

std::vector<float> filled(std::vector<float> row) {
  zero_fill_row(row.data(), static_cast<int32_t>(row.size()));
  return row;
}

std::vector<float> with_leading_zeros(int zeros, int total, float value) {
  std::vector<float> row(total, 0.0f);
  for (int i = zeros; i < total; ++i) row[i] = value;
  return row;
}

TEST(ZeroFill, FillsRowsAsTheWorkedExamplesShow) {
  struct Case {
    std::vector<float> row, expected;
  };
  std::vector<float> twenty = with_leading_zeros(20, 24, 3.0f);
  std::vector<float> twenty_expected = twenty;
  for (int i = 5; i < 20; ++i) twenty_expected[i] = 3.0f;  // the first five stay 0
  const Case cases[] = {
      {{0, 0, 5, 0, 0, 0, 7, 0}, {5, 5, 5, 5, 5, 7, 7, 7}},
      {{4, 0, 0, 9}, {4, 4, 9, 9}},
      {{4, 0, 9}, {4, 9, 9}},
      {{2, 3, 0, 0, 0}, {2, 3, 3, 3, 3}},
      {{0, 0, 0}, {0, 0, 0}},
      {{0}, {0}},
      {{-99999.0f, 0, 2}, {-99999.0f, 2, 2}},
      {{0, -99999.0f}, {-99999.0f, -99999.0f}},
      {{-0.0f, 6}, {6, 6}},
      {twenty, twenty_expected},
  };
  for (const Case& c : cases) EXPECT_EQ(filled(c.row), c.expected);
}

TEST(ZeroFill, SpreadsNaNLikeAnyOtherValue) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> row = filled({0, nan, 0});
  for (float v : row) EXPECT_TRUE(std::isnan(v));
}

// Each iteration moves the east end of a leading run of zeros by one point
// (the east pass), so fifteen iterations fill its fifteen easternmost
// points and no more: of L leading zeros, L - 15 stay at the west end.
TEST(ZeroFill, FifteenIterationsFillFifteenPointsOfALeadingRun) {
  for (const int zeros : {1, 14, 15, 16, 17, 30}) {
    SCOPED_TRACE(zeros);
    const std::vector<float> row = filled(with_leading_zeros(zeros, zeros + 3, 7.0f));
    const int left = std::max(0, zeros - kZeroFillIterations);
    for (int i = 0; i < zeros + 3; ++i) EXPECT_EQ(row[static_cast<size_t>(i)], i < left ? 0.0f : 7.0f) << i;
  }
}

TEST(ZeroFill, EarlyStopGivesTheSameBitsAsFifteenIterations) {
  const float specials[] = {0.0f, -0.0f, std::numeric_limits<float>::quiet_NaN(), -99999.0f};
  uint64_t state = 7;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  };
  for (int trial = 0; trial < 3000; ++trial) {
    const int im = 1 + static_cast<int>(next() % 200);
    const int zero_percent = static_cast<int>(next() % 100);
    std::vector<float> row(im);
    for (float& v : row) {
      const uint32_t r = next() % 100;
      if (static_cast<int>(r) < zero_percent) v = specials[next() % 2];
      else if (r % 17 == 0) v = specials[2 + next() % 2];
      else v = static_cast<float>(next() % 1000) / 7.0f;
    }
    std::vector<float> expected = row;
    reference_zero_fill(expected);
    const std::vector<float> actual = filled(row);
    ASSERT_EQ(0, std::memcmp(expected.data(), actual.data(), row.size() * sizeof(float))) << "trial " << trial;
  }
}

}  // namespace
}  // namespace i2m
