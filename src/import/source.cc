#include "import/source.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "import/archive.h"
#include "import/grib_source.h"
#include "import/netcdf_source.h"

namespace i2m {
namespace {

// A GRIB message starts within the first megabyte: "GRIB", then its length
// and an edition of 1 or 2.
bool grib_message_within(const std::string& path) {
  constexpr size_t kHeaderRoom = 1 << 20;
  std::vector<unsigned char> head(kHeaderRoom);
  const int fd = open_regular_file_for_reading(path);
  const size_t got = read_next(fd, path, head.data(), head.size());
  close_file(fd, path);
  for (size_t at = 0; at + 8 <= got; ++at) {
    if (std::memcmp(&head[at], "GRIB", 4) == 0 && (head[at + 7] == 1 || head[at + 7] == 2)) return true;
  }
  return false;
}

}  // namespace

void count_ignored(std::vector<IgnoredField>& ignored, const std::string& description, int64_t count) {
  for (IgnoredField& f : ignored) {
    if (f.description == description) {
      f.count += count;
      return;
    }
  }
  ignored.push_back({description, count});
}

void SourceInventory::note_grid(const std::string& description) {
  if (std::find(grids.begin(), grids.end(), description) == grids.end()) grids.push_back(description);
}

OpenedSource open_plain_source(const std::string& path, const std::string& open_path, int index) {
  // The kind is told by the file's first bytes, not by its name: a file that
  // merely holds the letters GRIB somewhere is not taken for one.
  unsigned char magic[8] = {};
  const int fd = open_regular_file_for_reading(open_path);
  const size_t got = read_next(fd, path, magic, sizeof magic);
  close_file(fd, path);
  if (got == 0) fail_file(path, "empty file");
  if (got >= 4 && std::memcmp(magic, "GRIB", 4) == 0) return open_grib_source(path, open_path, index);
  // NetCDF classic ("CDF" and a version byte) and NetCDF-4 (an HDF5 file).
  const bool classic = got >= 4 && std::memcmp(magic, "CDF", 3) == 0 && (magic[3] == 1 || magic[3] == 2 || magic[3] == 5);
  const bool hdf5 = got == 8 && std::memcmp(magic, "\x89HDF\r\n\x1a\n", 8) == 0;
  if (classic || hdf5) return open_netcdf_source(path, open_path, index);
  // A WMO bulletin header, or another header, before the first message.
  if (grib_message_within(open_path)) return open_grib_source(path, open_path, index);
  if (archive_kind(magic, got) != nullptr) {
    fail_file(path, std::string("an archive (") + archive_kind(magic, got) + ") inside an archive: unpack the outer one first");
  }
  fail_file(path, "neither GRIB nor NetCDF (it starts with neither a GRIB message nor a NetCDF header, and is no zip "
                  "archive or gzip, bzip2 or xz stream)");
}

void open_source(const std::string& path, const std::string& scratch_dir, std::vector<OpenedSource>& sources,
                 size_t member_in_memory) {
  unsigned char magic[8] = {};
  const int fd = open_regular_file_for_reading(path);
  const size_t got = read_next(fd, path, magic, sizeof magic);
  close_file(fd, path);
  if (got == 0) fail_file(path, "empty file");
  if (archive_kind(magic, got) != nullptr) {
    open_archive(path, scratch_dir, sources, member_in_memory);
    return;
  }
  sources.push_back(open_plain_source(path, path, static_cast<int>(sources.size())));
}

}  // namespace i2m
