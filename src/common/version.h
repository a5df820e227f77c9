// The version of the project's programs, set once in the build (CMake's
// project version), printed by --version and written where a file is
// described.
#pragma once

namespace i2m {

const char* project_version();

}  // namespace i2m
