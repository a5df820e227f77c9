// Shared set-up of the fuzz targets: the converter's log is thrown away and
// every file a target needs lives in one private scratch directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

// Sends standard output (the run log) to /dev/null, makes a scratch
// directory, removed at exit, and makes it the working directory.
// Returns its path.
std::string enter_scratch_directory();

// Replaces the file at `path` with `size` bytes of `data`.
void write_bytes(const std::string& path, const uint8_t* data, size_t size);

}  // namespace fuzzing
