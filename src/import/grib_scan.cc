#include "import/grib_scan.h"

#include <eccodes.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/failure.h"
#include "import/grib_keys.h"

namespace i2m {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// A damaged length field makes ecCodes' reader take too few or too many
// bytes for a message; the end marker tells, before the rest of the file is
// taken for stray bytes.
void check_message_end(int fd, const std::string& path, const GribMessageSpan& m) {
  char marker[4] = {};
  const auto end = m.offset + static_cast<int64_t>(m.length);
  const bool ends = m.length >= 12 && ::pread(fd, marker, 4, end - 4) == 4 && std::memcmp(marker, "7777", 4) == 0;
  if (!ends) {
    fail_file(grib_message_place(path, m.number, 0),
              "does not end with the GRIB end marker 7777 where its length says: the message is damaged (it starts at "
              "byte " + std::to_string(m.offset) + ", its length field gives " + std::to_string(m.length) + " bytes)");
  }
}

void check_whole(const std::string& path, const GribMessageSpan& m, int64_t file_size) {
  if (m.offset + static_cast<int64_t>(m.length) <= file_size) return;
  fail_file(path, "message " + std::to_string(m.number) + " is cut short: it starts at byte " + std::to_string(m.offset) +
                      " and needs " + std::to_string(m.length) + " bytes, the file ends after " +
                      std::to_string(file_size - m.offset));
}

// ecCodes' reader is asked for no more than the start of each message: it
// reports where a message starts and how long it is, and the data are not
// read at all. It may write past a small buffer while it works out the
// length of a damaged GRIB1 message; with this much room it does not.
constexpr size_t kReaderRoom = 65536;

}  // namespace

std::string grib_message_place(const std::string& path, int message, int field_in_message) {
  std::string s = path + ": message " + std::to_string(message);
  if (field_in_message > 0) s += " (field " + std::to_string(field_in_message + 1) + ")";
  return s;
}

std::string describe_skipped(const std::vector<SkippedBytes>& skipped) {
  auto where = [](const SkippedBytes& s) {
    return s.before > 0 ? " before message " + std::to_string(s.before) : std::string(" after the last message");
  };
  constexpr size_t kListed = 3;
  std::string text;
  for (size_t n = 0; n < skipped.size() && n < kListed; ++n) {
    const SkippedBytes& s = skipped[n];
    text += n == 0 ? "skipped " + std::to_string(s.count) + (s.count == 1 ? " byte" : " bytes") : ", " + std::to_string(s.count);
    text += where(s);
  }
  if (skipped.size() > kListed) {
    int64_t rest = 0;
    for (size_t n = kListed; n < skipped.size(); ++n) rest += skipped[n].count;
    text += " and " + std::to_string(rest) + " in " + std::to_string(skipped.size() - kListed) + " more places";
  }
  return text;
}

std::vector<SkippedBytes> scan_grib_messages(const std::string& path, int fd,
                                             const std::function<void(const GribMessageSpan&)>& each) {
  configure_eccodes();
  // ecCodes' reader takes a stream of its own, at the file's start.
  const std::unique_ptr<std::FILE, FileCloser> file(::fdopen(::fcntl(fd, F_DUPFD_CLOEXEC, 0), "rb"));
  if (!file || ::fseeko(file.get(), 0, SEEK_SET) != 0) fail_file_errno(path, "cannot open");
  struct stat st {};
  if (::fstat(fd, &st) != 0) fail_file_errno(path, "cannot read");
  std::vector<unsigned char> start(kReaderRoom);
  int64_t end_of_last = 0;
  GribMessageSpan m;
  std::vector<SkippedBytes> skipped;
  for (;;) {
    size_t length = 16;
    const int error = wmo_read_grib_from_file(file.get(), start.data(), &length);
    if (error == GRIB_END_OF_FILE) break;
    if (error != 0 && error != GRIB_BUFFER_TOO_SMALL) {
      fail_eccodes(path, "cannot read the message after byte " + std::to_string(end_of_last) + ": ", error);
    }
    // A message too long for the 16 bytes asked leaves the file 4 bytes into
    // it, past "GRIB".
    m = {::ftello(file.get()) - (error == 0 ? static_cast<int64_t>(length) : 4), length, m.number + 1};
    check_whole(path, m, st.st_size);
    check_message_end(fd, path, m);
    if (m.offset != end_of_last) skipped.push_back({m.number, m.offset - end_of_last});
    end_of_last = m.offset + static_cast<int64_t>(length);
    if (::fseeko(file.get(), end_of_last, SEEK_SET) != 0) fail_file_errno(path, "cannot read");
    each(m);
  }
  if (m.number == 0) fail_file(path, "holds no GRIB message");
  if (end_of_last < st.st_size) skipped.push_back({0, st.st_size - end_of_last});
  return skipped;
}

}  // namespace i2m
