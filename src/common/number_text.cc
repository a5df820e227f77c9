#include "common/number_text.h"

#include <charconv>

namespace i2m {

std::string format_number(double value) {
  // Six decimals are more than any grid or level needs; then trailing zeros go.
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  std::string s(buffer, r.ptr);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

std::string format_ranges(const std::vector<int64_t>& values) {
  std::string text;
  for (size_t n = 0; n < values.size();) {
    size_t last = n;
    while (last + 1 < values.size() && values[last + 1] == values[last] + 1) ++last;
    text += (text.empty() ? "" : ", ") + std::to_string(values[n]);
    if (last > n) text += (last == n + 1 ? ", " : " to ") + std::to_string(values[last]);
    n = last + 1;
  }
  return text;
}

}  // namespace i2m
