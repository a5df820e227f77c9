#include "import/data_time.h"

#include <cstdio>

namespace i2m {
namespace {

// Floor division, so that dates before 1970 and before year 0 work too.
int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool is_leap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int64_t y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

}  // namespace

// Counting in 400-year eras from 1 March, where the leap day is the last day.
int64_t days_from_civil(int64_t year, int month, int day) {
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t era = floor_div(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilTime civil_from_seconds(int64_t seconds) {
  const int64_t days = floor_div(seconds, 86400);
  const int64_t rest = seconds - days * 86400;
  const int64_t z = days + 719468;
  const int64_t era = floor_div(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CivilTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = yoe + era * 400 + (t.month <= 2 ? 1 : 0);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

int64_t seconds_from_civil(const CivilTime& t) {
  return days_from_civil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

bool valid_civil(const CivilTime& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= days_in_month(t.year, t.month) &&
         t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 60;
}

std::string format_data_time(int64_t seconds) {
  const CivilTime t = civil_from_seconds(seconds);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04lld%02d%02d%02d", static_cast<long long>(t.year), t.month, t.day,
                t.hour);
  return buffer;
}

namespace {

// Reads an unsigned decimal number at `s[i]`, moving `i` past it.
std::optional<int64_t> read_number(std::string_view s, size_t& i, size_t max_digits) {
  const size_t start = i;
  int64_t value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < max_digits) value = value * 10 + (s[i++] - '0');
  if (i == start) return std::nullopt;
  return value;
}

bool skip(std::string_view s, size_t& i, char c) {
  if (i < s.size() && s[i] == c) {
    ++i;
    return true;
  }
  return false;
}

std::optional<int64_t> unit_length(std::string_view unit) {
  if (unit == "second" || unit == "seconds") return 1;
  if (unit == "minute" || unit == "minutes") return 60;
  if (unit == "hour" || unit == "hours") return 3600;
  if (unit == "day" || unit == "days") return 86400;
  return std::nullopt;
}

// "YYYY-MM-DD[( |T)hh:mm[:ss[.fff]]][Z| UTC]" to seconds since 1970.
std::optional<int64_t> parse_instant(std::string_view s) {
  size_t i = 0;
  CivilTime t{};
  const auto year = read_number(s, i, 4);
  if (!year || !skip(s, i, '-')) return std::nullopt;
  const auto month = read_number(s, i, 2);
  if (!month || !skip(s, i, '-')) return std::nullopt;
  const auto day = read_number(s, i, 2);
  if (!day) return std::nullopt;
  t.year = *year;
  t.month = static_cast<int>(*month);
  t.day = static_cast<int>(*day);
  if (skip(s, i, ' ') || skip(s, i, 'T')) {
    const auto hour = read_number(s, i, 2);
    if (!hour || !skip(s, i, ':')) return std::nullopt;
    const auto minute = read_number(s, i, 2);
    if (!minute) return std::nullopt;
    t.hour = static_cast<int>(*hour);
    t.minute = static_cast<int>(*minute);
    if (skip(s, i, ':')) {
      const auto second = read_number(s, i, 2);
      if (!second) return std::nullopt;
      t.second = static_cast<int>(*second);
      // Fractions of a second other than zero are not a data time's.
      if (skip(s, i, '.')) {
        while (i < s.size() && s[i] == '0') ++i;
      }
    }
  }
  std::string_view rest = s.substr(i);
  if (rest == "Z" || rest == " UTC" || rest == " Z" || rest == "UTC") rest = {};
  if (!rest.empty() || !valid_civil(t)) return std::nullopt;
  return seconds_from_civil(t);
}

}  // namespace

std::optional<TimeUnits> parse_time_units(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const size_t since = text.find(" since ");
  if (since == std::string_view::npos) return std::nullopt;
  const std::optional<int64_t> unit = unit_length(text.substr(0, since));
  const std::optional<int64_t> instant = parse_instant(text.substr(since + 7));
  if (!unit || !instant) return std::nullopt;
  return TimeUnits{*unit, *instant};
}

}  // namespace i2m
