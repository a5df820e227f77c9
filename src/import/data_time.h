// Data times: instants in seconds since 1970-01-01 00:00 UTC in the
// proleptic Gregorian calendar, named YYYYMMDDHH in file names and logs.
#pragma once

#include <cstdint>
#include <string>

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

}  // namespace i2m
