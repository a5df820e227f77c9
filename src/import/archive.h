// Zip archives and gzip, bzip2 and xz streams, read through libarchive: the
// Data Store delivers its NetCDF files zipped, other centres compress their
// GRIB. Each member (zip) or the whole stream is opened as the source its
// own first bytes announce.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "import/source.h"

namespace i2m {

// The name of the temporary files of archive members, as the output folder
// recognises what an import left: ".archive-member.<pid>-<n>.part".
inline constexpr const char* kArchiveMemberName = "archive-member";

// "zip", "gzip", "bzip2" or "xz" when the first bytes announce one, else
// nullptr.
const char* archive_kind(const unsigned char* magic, size_t length);

// Opens every member of the archive (or the stream) at `path` and appends
// its source; see open_source().
void open_archive(const std::string& path, const std::string& scratch_dir, std::vector<OpenedSource>& sources,
                  size_t member_in_memory);

}  // namespace i2m
