#include "import/source.h"

#include <cstring>

#include "common/failure.h"
#include "common/file_io.h"
#include "import/grib_source.h"

namespace i2m {

void count_ignored(std::vector<IgnoredField>& ignored, const std::string& description) {
  for (IgnoredField& f : ignored) {
    if (f.description == description) {
      ++f.count;
      return;
    }
  }
  ignored.push_back({description, 1});
}

std::unique_ptr<Source> open_source(const std::string& path, int index) {
  // The kind is told by the file's first bytes, not by its name: a file that
  // merely holds the letters GRIB somewhere is not taken for one.
  unsigned char magic[8] = {};
  const int fd = open_for_reading(path);
  const size_t got = read_next(fd, path, magic, sizeof magic);
  close_file(fd, path);
  if (got == 0) fail_file(path, "empty file");
  if (got >= 4 && std::memcmp(magic, "GRIB", 4) == 0) return open_grib_source(path, index);
  fail_file(path, "not a GRIB file (it does not start with a GRIB message)");
}

}  // namespace i2m
