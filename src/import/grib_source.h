// GRIB editions 1 and 2, read through ecCodes.
#pragma once

#include <string>

#include "import/source.h"

namespace i2m {

// Scans the GRIB file at `path` into its inventory (ecCodes' failed checks
// go to the library failure handler, see library_guard.h). Ends the run
// with exit status 2 for a file cut inside a message, a message whose end
// marker is not where its length says, bytes between messages that belong
// to none, or a field whose keys cannot be read.
// `path` names the file in diagnostics; `open_path` is where it is read
// (the same but for an archive's member).
OpenedSource open_grib_source(const std::string& path, const std::string& open_path, int index);

}  // namespace i2m
