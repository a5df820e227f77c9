// SHA-256 (FIPS 180-4) of a file, as sha256sum prints it: the importer's
// manifests hold the same checksums as the batch scripts' (sha256sum).
#pragma once

#include <string>

namespace i2m {

// The 64 lower-case hexadecimal digits of the file's SHA-256. Ends the run
// with exit status 2 naming `path` when it cannot be read.
std::string file_sha256(const std::string& path);

}  // namespace i2m
