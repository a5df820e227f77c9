#include "qc/rh_fix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/failure.h"

namespace i2m {
namespace {

constexpr float M = -99999.0f;
constexpr int kIm = 2, kJm = 2, kPoints = kIm * kJm;

// A 2 x 2 x 4 field whose level k holds 10k + point at present levels, and
// missing_flag at the first point of each missing level (its other points
// keep their values, so a copy is visible everywhere).
std::vector<float> column(const std::vector<bool>& missing) {
  std::vector<float> rh;
  for (size_t k = 0; k < missing.size(); ++k) {
    for (int p = 0; p < kPoints; ++p) rh.push_back(p == 0 && missing[k] ? M : 10.0f * static_cast<float>(k + 1) + static_cast<float>(p));
  }
  return rh;
}

std::vector<float> level_of(const std::vector<float>& original, int k) {
  return {original.begin() + (k - 1) * kPoints, original.begin() + k * kPoints};
}

struct Outcome {
  std::string log;
  bool stopped = false;
  std::vector<float> rh;
};

Outcome patch(std::vector<float> rh, std::vector<float> pr) {
  Outcome o;
  testing::internal::CaptureStdout();
  try {
    rh_fix(kIm, kJm, static_cast<int32_t>(pr.size()), rh.data(), pr.data());
  } catch (const RunFailure& f) {
    o.stopped = true;
    EXPECT_EQ(f.status, kExitDataStop);
    EXPECT_TRUE(f.message.empty());
  }
  o.log = testing::internal::GetCapturedStdout();
  o.rh = rh;
  return o;
}

const std::vector<float> kPr{1000, 850, 700, 500};
const char* const kCopy850to1000 = " Copying         850  mb to        1000  mb.\n";
const char* const kCopy700to850 = " Copying         700  mb to         850  mb.\n";
const char* const kCopy500to700 = " Copying         500  mb to         700  mb.\n";
const char* const kCopy850to700 = " Copying         850  mb to         700  mb.\n";
const char* const kCopy700to500 = " Copying         700  mb to         500  mb.\n";
const char* const kCheck700 = " checking RH at lev=    700.000000    \n";
const char* const kCheck850 = " checking RH at lev=    850.000000    \n";

TEST(RelativeHumidityPatch, CopiesNearestPresentLevelsOverMissingEnds) {
  struct Case {
    std::vector<bool> missing;
    std::string log;
    std::vector<int> source;  // for each level, the original level it ends up equal to
  };
  const Case cases[] = {
      {{true, false, false, false}, kCopy850to1000, {2, 2, 3, 4}},
      {{true, true, false, false}, std::string(kCopy700to850) + kCopy850to1000, {3, 3, 3, 4}},
      {{false, false, false, true}, std::string(kCheck700) + kCopy700to500, {1, 2, 3, 3}},
      {{false, false, true, true},
       std::string(kCheck700) + kCheck850 + kCopy850to700 + kCopy700to500, {1, 2, 2, 2}},
      {{true, false, false, true}, std::string(kCopy850to1000) + kCheck700 + kCopy700to500, {2, 2, 3, 3}},
      {{true, true, true, false},
       std::string(kCopy500to700) + kCopy700to850 + kCopy850to1000, {4, 4, 4, 4}},
  };
  for (const Case& c : cases) {
    const std::vector<float> original = column(c.missing);
    const Outcome o = patch(original, kPr);
    EXPECT_FALSE(o.stopped);
    EXPECT_EQ(o.log, c.log);
    for (int k = 1; k <= 4; ++k) {
      EXPECT_EQ(level_of(o.rh, k), level_of(original, c.source[k - 1])) << "level " << k;
    }
  }
}

TEST(RelativeHumidityPatch, StopsOnGapsItCannotRepair) {
  struct Case {
    std::vector<bool> missing;
    std::string log;
  };
  const Case cases[] = {
      {{false, false, true, false}, " RH patch did not work..\n"},
      {{true, false, true, false}, std::string(kCopy850to1000) + " RH patch did not work..\n"},
      {{true, true, true, true}, " RH patch did not work.\n"},
      {{true}, " RH patch did not work.\n"},
  };
  for (const Case& c : cases) {
    std::vector<float> pr(kPr.begin(), kPr.begin() + static_cast<long>(c.missing.size()));
    const std::vector<float> original = column(c.missing);
    const Outcome o = patch(original, pr);
    EXPECT_TRUE(o.stopped);
    EXPECT_EQ(o.log, c.log);
    if (c.missing.size() == 4 && c.missing[0] && c.missing[1]) {
      EXPECT_EQ(o.rh, original);  // nothing copied
    }
  }
}

TEST(RelativeHumidityPatch, RoundsCopyPressuresButCheckLinesShowTheReal) {
  const Outcome o = patch(column({false, false, true}), {1000.0f, 962.5f, 850.0f});
  EXPECT_EQ(o.log, " checking RH at lev=    962.500000    \n"
                   " Copying         963  mb to         850  mb.\n");
  const Outcome half_down = patch(column({true, false}), {1000.0f, -962.5f});
  EXPECT_EQ(half_down.log, " Copying        -963  mb to        1000  mb.\n");
}

TEST(RelativeHumidityPatch, NaNAtTheFirstPointCountsAsPresent) {
  std::vector<float> rh = column({true, false});
  rh[kPoints] = std::numeric_limits<float>::quiet_NaN();
  const Outcome o = patch(rh, {1000.0f, 850.0f});
  EXPECT_FALSE(o.stopped);
  EXPECT_TRUE(std::isnan(o.rh[0]));
}

}  // namespace
}  // namespace i2m
