#include "support/expected.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "thermo/estab.h"

namespace testing_support {

// The converter's own table: thermo_test checks every entry against the
// Goff-Gratch formula evaluated independently in double precision, and
// the worked values; what the tests derive from it is the rest of the rule.
float reference_esat(int code) { return i2m::saturation_table()[code - i2m::kEsatFirstCode]; }

// The temperature code as the lookup rule states it: the float product
// 100 T truncated to a 32-bit integer, INT32_MIN for a NaN or a product
// outside the 32-bit range, then raised to 15000 and held to 45000.
int temperature_code(float tp) {
  const float scaled = 100.0f * tp;
  int64_t n = INT32_MIN;
  if (!std::isnan(scaled) && scaled < 2147483648.0f && scaled >= -2147483648.0f) {
    n = static_cast<int64_t>(std::trunc(static_cast<double>(scaled)));
  }
  if (n < 15000) n = 15000;
  if (n > 45000) n = 45000;
  return static_cast<int>(n);
}

float reference_q(float tp, float rh, float pr) {
  const int code = temperature_code(tp);
  const float e = reference_esat(code);
  const float numerator = 0.00622f * e;
  const float denominator = pr - e;
  const float w = numerator / denominator;
  return rh * w;
}

std::vector<std::vector<float>> expected_work_records(const DataTime& d) {
  std::vector<std::vector<float>> records;
  const size_t n = d.points();
  auto level = [&](const std::vector<float>& f, int k) {
    return std::vector<float>(f.begin() + (k - 1) * n, f.begin() + k * n);
  };
  for (const std::vector<float>* f : {&d.uw, &d.vw, &d.ht}) {
    for (int k = 1; k <= d.lm; ++k) records.push_back(level(*f, k));
  }
  for (int k = 1; k <= d.lm; ++k) {
    std::vector<float> q(n);
    for (size_t p = 0; p < n; ++p) {
      q[p] = reference_q(d.tp[(k - 1) * n + p], d.rh[(k - 1) * n + p], d.pr[k - 1]);
    }
    records.push_back(q);
  }
  for (int k = 1; k <= d.lm; ++k) records.push_back(level(d.tp, k));
  for (int s = 1; s <= 12; ++s) records.push_back(level(d.slp, s));
  return records;
}

int first_record_difference(const std::vector<std::vector<float>>& actual,
                            const std::vector<std::vector<float>>& expected, std::string& detail) {
  if (actual.size() != expected.size()) {
    detail = "record count " + std::to_string(actual.size()) + " != " + std::to_string(expected.size());
    return 0;
  }
  for (size_t r = 0; r < actual.size(); ++r) {
    for (size_t p = 0; p < actual[r].size(); ++p) {
      if (!same_bits(actual[r][p], expected[r][p])) {
        detail = "record " + std::to_string(r + 1) + " point " + std::to_string(p) + ": " +
                 std::to_string(actual[r][p]) + " != " + std::to_string(expected[r][p]);
        return static_cast<int>(r + 1);
      }
    }
  }
  return -1;
}

namespace {

std::vector<std::string> sorted_names(std::filesystem::directory_iterator entries, bool with_dot_files) {
  std::vector<std::string> names;
  for (const auto& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (with_dot_files || name[0] != '.') names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> visible_files(const std::string& dir) {
  return sorted_names(std::filesystem::directory_iterator(dir), false);
}

std::vector<std::string> all_files(const std::string& dir) {
  std::error_code error;
  return sorted_names(std::filesystem::directory_iterator(dir, error), true);
}

}  // namespace testing_support
