#include "import/source.h"

#include <algorithm>
#include <cstring>

#include "common/failure.h"
#include "common/file_io.h"
#include "import/grib_source.h"
#include "import/netcdf_source.h"

namespace i2m {

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

OpenedSource open_source(const std::string& path, int index) {
  // The kind is told by the file's first bytes, not by its name: a file that
  // merely holds the letters GRIB somewhere is not taken for one.
  unsigned char magic[8] = {};
  const int fd = open_regular_file_for_reading(path);
  const size_t got = read_next(fd, path, magic, sizeof magic);
  close_file(fd, path);
  if (got == 0) fail_file(path, "empty file");
  if (got >= 4 && std::memcmp(magic, "GRIB", 4) == 0) return open_grib_source(path, index);
  // NetCDF classic ("CDF" and a version byte) and NetCDF-4 (an HDF5 file).
  const bool classic = got >= 4 && std::memcmp(magic, "CDF", 3) == 0 && (magic[3] == 1 || magic[3] == 2 || magic[3] == 5);
  const bool hdf5 = got == 8 && std::memcmp(magic, "\x89HDF\r\n\x1a\n", 8) == 0;
  if (classic || hdf5) return open_netcdf_source(path, index);
  fail_file(path, "neither GRIB nor NetCDF (it starts with neither a GRIB message nor a NetCDF header)");
}

}  // namespace i2m
