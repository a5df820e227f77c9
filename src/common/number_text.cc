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

}  // namespace i2m
