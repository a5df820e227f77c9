// Expectations computed in the tests, independently of the converter's code.
#pragma once

#include <string>
#include <vector>

#include "support/data_time.h"

namespace testing_support {

// Saturation vapour pressure (hPa) at temperature code N (N/100 K): the
// converter's table, whose every entry thermo_test checks against the
// Goff-Gratch formula evaluated in double precision.
float reference_esat(int code);

// The table code a temperature (K) reads, as the lookup rule states it.
int temperature_code(float tp);

// The specific humidity the work file must hold for one point.
float reference_q(float tp, float rh, float pr);

// The 5 lm + 12 work-file records for a data time whose fields need no
// screening or repair (the test applies any expected repair first).
std::vector<std::vector<float>> expected_work_records(const DataTime& d);

// Index of the first differing record, or -1; `detail` says where.
int first_record_difference(const std::vector<std::vector<float>>& actual,
                            const std::vector<std::vector<float>>& expected, std::string& detail);

// Files of a directory (names, sorted), dot files left out.
std::vector<std::string> visible_files(const std::string& dir);

// Every file of a directory (names, sorted), dot files included; empty when
// the directory does not exist.
std::vector<std::string> all_files(const std::string& dir);

}  // namespace testing_support
