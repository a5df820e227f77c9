#include "common/data_time_name.h"

namespace i2m {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string data_time_in_name(std::string_view path) {
  const size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  for (size_t i = 0; i < name.size();) {
    if (!is_digit(name[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < name.size() && is_digit(name[j])) ++j;
    if (j - i == kDataTimeDigits) return std::string(name.substr(i, kDataTimeDigits));
    i = j;
  }
  return "";
}

}  // namespace i2m
