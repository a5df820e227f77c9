#include "common/log_line.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "support/data_time.h"

namespace i2m {
namespace {

struct RealCase {
  float value;
  const char* field;  // the 16 characters
};

TEST(RealField, MatchesTheListDirectedLayout) {
  const RealCase cases[] = {
      {850.0f, "  850.000000    "},
      {1.0f, "  1.00000000    "},
      {-99999.0f, " -99999.0000    "},
      {-0.0f, " -0.00000000    "},
      {0.0f, "  0.00000000    "},
      {0.1f, " 0.100000001    "},
      {0.099999994f, "  9.99999940E-02"},
      {1234567.125f, "  1234567.12    "},
      {1234567.375f, "  1234567.38    "},
      {1.0e8f, "  100000000.    "},
      {999999999.0f, "  1.00000000E+09"},
      {2.45424e-8f, "  2.45424001E-08"},
      {1.0e-40f, "  9.99994610E-41"},
      {3.4e38f, "  3.39999995E+38"},
      {-3.4e38f, " -3.39999995E+38"},
      {100000.0f, "  100000.000    "},
      {1000.0f, "  1000.00000    "},
      {962.5f, "  962.500000    "},
      {-1.5f, " -1.50000000    "},
      {-0.25f, "-0.250000000    "},
      {9.99999974e-06f, "  9.99999975E-06"},
      {123456789.0f, "  123456792.    "},
      {std::numeric_limits<float>::denorm_min(), "  1.40129846E-45"},
      {std::numeric_limits<float>::quiet_NaN(), "             NaN"},
      {std::numeric_limits<float>::infinity(), "        Infinity"},
      {-std::numeric_limits<float>::infinity(), "       -Infinity"},
  };
  for (const RealCase& c : cases) {
    EXPECT_EQ(format_real(c.value), c.field) << "value " << c.value;
  }
}

TEST(RealField, RoundingThatCrossesIntoTheNextDecadeChangesTheForm) {
  // 0.0999999999 rounds to 0.100000000 at 9 digits: fixed form.
  EXPECT_EQ(format_real(std::nextafter(0.1f, 0.0f)), "  9.99999940E-02");
  // The largest float below 1e9 rounds to 1.00000000E+09 at 9 digits.
  EXPECT_EQ(format_real(std::nextafter(1.0e9f, 0.0f)), "  999999936.    ");
  EXPECT_EQ(format_real(9.9999999e8f), "  1.00000000E+09");
}

TEST(LogLine, SeparatesItemsExceptTextAfterText) {
  struct Case {
    LogLine line;
    const char* expected;
  };
  const Case cases[] = {
      {LogLine(), "\n"},
      {LogLine().text(""), " \n"},
      {LogLine().text("OPEN FILE ").text("/data/in.bin"), " OPEN FILE /data/in.bin\n"},
      {LogLine().text("using hardwired stuff! ").integer(144).integer(73).integer(17),
       " using hardwired stuff!          144          73          17\n"},
      {LogLine().text("Copying").integer(850).text(" mb to").integer(1000).text(" mb."),
       " Copying         850  mb to        1000  mb.\n"},
      {LogLine().integer(26).text(" => Number of Levels"), "          26  => Number of Levels\n"},
      {LogLine().real(1000.0f).real(925.0f),
       "   1000.00000       925.000000    \n"},
      {LogLine().text("field, value ").integer(1).real(1.0f),
       " field, value            1   1.00000000    \n"},
      {LogLine().integer(-90000).text("kgds(4)"), "      -90000 kgds(4)\n"},
      {LogLine().integer(INT32_MIN), " -2147483648\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.line.str(), c.expected);
}

TEST(LogLine, ReportLineIsFortyThreeCharacters) {
  EXPECT_EQ(LogLine().text("field, value ").integer(12).real(-99999.0f).str().size(), 44u);  // + line feed
}

// Cross-check against gfortran's own list-directed output over many random
// bit patterns, when gfortran is on the machine.
TEST(RealField, AgreesWithGfortranListDirectedOutput) {
  if (std::system("command -v gfortran > /dev/null 2>&1") != 0) GTEST_SKIP() << "gfortran not installed";
  testing_support::TempDir dir;
  testing_support::write_file(dir.file("p.f90"),
                              "program p\n"
                              "  integer(4) :: bits, n, k\n"
                              "  real(4) :: x\n"
                              "  read(*,*) n\n"
                              "  do k = 1, n\n"
                              "    read(*,*) bits\n"
                              "    x = transfer(bits, x)\n"
                              "    print *, x, bits\n"
                              "  end do\n"
                              "end program p\n");
  constexpr int kCount = 20000;
  uint64_t state = 12345;
  std::vector<float> values;
  for (int n = 0; n < kCount; ++n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    auto bits = static_cast<uint32_t>(state >> 32);
    if (n % 3 == 0) {  // bias toward the fixed-point range and its edges
      const float base = std::ldexp(1.0f, static_cast<int>(state % 40) - 6);
      bits = std::bit_cast<uint32_t>(base) + static_cast<uint32_t>((state >> 8) % 2000) - 1000;
    }
    const float x = std::bit_cast<float>(bits);
    if (std::isnan(x)) continue;  // gfortran's NaN spelling is not compared
    values.push_back(x);
  }
  std::ostringstream fixed_input;
  fixed_input << values.size() << "\n";
  for (float x : values) fixed_input << std::bit_cast<int32_t>(x) << "\n";

  const auto build = testing_support::run_command(dir.path(), "gfortran -o p p.f90");
  ASSERT_EQ(build.status, 0) << build.err;
  const auto run = testing_support::run_command(dir.path(), "./p", fixed_input.str());
  ASSERT_EQ(run.status, 0) << run.err;

  std::istringstream lines(run.out);
  std::string line;
  size_t n = 0;
  for (; std::getline(lines, line) && n < values.size(); ++n) {
    const std::string expected =
        LogLine().real(values[n]).integer(std::bit_cast<int32_t>(values[n])).str();
    ASSERT_EQ(line + "\n", expected) << "bits " << std::bit_cast<uint32_t>(values[n]);
  }
  EXPECT_EQ(n, values.size());
}

}  // namespace
}  // namespace i2m
