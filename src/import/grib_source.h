// GRIB editions 1 and 2, read through ecCodes.
#pragma once

#include <memory>
#include <string>

#include "import/source.h"

namespace i2m {

// ecCodes ends the process when some damaged data fail its internal checks
// (an assertion, then abort). A handler set here is called instead, with
// the place of the field being read (or "" outside any) and ecCodes'
// message. It must not return: ecCodes would go on past its failed check.
using GribFailureHandler = void (*)(const std::string& place, const char* message);
void set_grib_failure_handler(GribFailureHandler handler);


// Reads the inventory of the GRIB file at `path`. Ends the run with exit
// status 2 for a file cut inside a message, bytes between messages that
// belong to none, or a recognised field on a grid other than a regular
// latitude-longitude one.
std::unique_ptr<Source> open_grib_source(const std::string& path, int index);

}  // namespace i2m
