// Completeness check of the six upper-air fields, level by level.
#pragma once

#include "input/field_set.h"

namespace i2m {

// Logs "Check for any missing data", then for k = 1..lm tests the first
// point of level k of ht, tp, rh, uw, vw and q in that order. A missing
// relative-humidity level is patched by rh_fix (and the wind and humidity
// tests of that level are skipped); any other missing level logs its line
// with the level's pressure and stops the run on the data.
void check_and_patch_levels(FieldSet& fs);

}  // namespace i2m
