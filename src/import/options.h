// The importer's command line.
#pragma once

#include <optional>

#include "import/plan.h"

namespace i2m {

// Parses the arguments. Returns the options, or the exit status the
// program ends with when it must stop at once (--help, --version, a usage
// error, already reported).
std::optional<ImportOptions> parse_import_options(int argc, char** argv, int& exit_status);

}  // namespace i2m
