// What one GRIB field is to the importer, read from its keys: its
// parameter, level and member, its grid, and how its values are read back.
// Only the GRIB source files include this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "import/field.h"
#include "import/grib_keys.h"

namespace i2m {

// How one recognised field is read back.
struct GribLocation {
  int64_t offset = 0;        // of its message in the file
  int64_t length = 0;        // of its message
  int field_in_message = 0;  // 0 but for the later fields of a multi-field message
  bool south_first = false;
  bool east_first = false;
  double divisor = 1;  // the unit conversion: Pa to hPa, geopotential to height
  int kind = 0;        // which kind of message it is (see message_kind)
};

// What ecCodes calls a message's parameter and level type. These are
// "concepts", matched against ecCodes' parameter tables on every read,
// about a millisecond each: a source reads them once per parameter of a
// file, keyed by parameter_identity().
struct ParameterNames {
  std::string short_name;
  std::string level_type;
  long param_id = 0;
  std::string units;
  std::string step_type;  // "instant", "avg", "accum", "max", ...
};
ParameterNames read_parameter_names(const Keys& keys);

// The plain keys that decide a message's parameter, level type and units:
// its tables, parameter numbers, level types, statistical processing, and
// its level values, except on isobaric levels, where the pressure names no
// other parameter (so that the 37 levels of one field share one entry).
std::vector<long> parameter_identity(codes_handle* h, long edition);

// The identity and the layout that decoding depends on: grid, packing and
// bitmap. ecCodes loads a kind's definitions the first time it decodes one.
std::vector<long> message_kind(codes_handle* h, std::vector<long> identity);

// GFS for NCEP, ERA5 for ECMWF's reanalysis class, else the centre.
std::string model_name_of(const Keys& keys);

// The ensemble member of a message, or kNoMember.
int64_t member_of(const Keys& keys);

// Why a field of a parameter the importer knows is not taken, or "": a
// statistically processed field (an average, accumulation, maximum ...) is
// not the instantaneous value the records hold. "t, average over 6 h: not
// an instantaneous value".
std::string not_instantaneous(const Keys& keys, const ParameterNames& names);

// Sets quantity, level, preference, name and units of a recognised field
// and the divisor of its values; false for a field the importer does not
// use, with why in `ignored` when it is not plain from the parameter (a
// soil layer of unknown depths).
bool classify_field(const Keys& keys, long edition, const ParameterNames& names, FieldInfo& info,
                    GribLocation& location, std::string& ignored);

// The field's validity time (seconds since 1970); ends the run naming
// `place` when it is no date.
int64_t validity_time(const Keys& keys, const std::string& place);

}  // namespace i2m
