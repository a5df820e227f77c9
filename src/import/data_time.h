// Data times: instants in seconds since 1970-01-01 00:00 UTC in the
// proleptic Gregorian calendar, named YYYYMMDDHH in file names and logs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace i2m {

struct CivilTime {
  int64_t year;
  int month, day, hour, minute, second;
};

// Days from 1970-01-01 to the given date (negative before it).
int64_t days_from_civil(int64_t year, int month, int day);

int64_t seconds_from_civil(const CivilTime& t);
CivilTime civil_from_seconds(int64_t seconds);

// False for a month, day, hour, minute or second out of its range.
bool valid_civil(const CivilTime& t);

// "2024010112"; seconds past the hour are not shown.
std::string format_data_time(int64_t seconds);

// A CF time unit, "<unit> since <date>[ <time>]": the length of the unit
// and the instant it counts from.
struct TimeUnits {
  int64_t unit_seconds = 0;
  int64_t since = 0;  // seconds since 1970-01-01 00:00 UTC
};

// Reads units of seconds, minutes, hours or days (singular or plural) since
// a date YYYY-MM-DD, optionally followed by a blank or "T" and a time
// hh:mm[:ss[.fff]] and a "Z" or "UTC"; nullopt for anything else.
std::optional<TimeUnits> parse_time_units(std::string_view text);

}  // namespace i2m
