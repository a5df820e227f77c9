// The messages of a GRIB file, found with ecCodes' own message reader and
// checked before any is parsed: each whole, each ending with its end marker
// where its length field says. Bytes before, between and after the messages
// (WMO bulletin headers, padding, a stray byte of a byte-range download)
// are skipped and counted, as ecCodes' own tools skip them.
// Only the GRIB source files include this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/file_io.h"

namespace i2m {

// Where one message lies in the file.
struct GribMessageSpan {
  int64_t offset = 0;
  size_t length = 0;
  int number = 0;  // 1-based
};

// "FILE: message 12", "FILE: message 12 (field 2)"
std::string grib_message_place(const std::string& path, int message, int field_in_message);

// Bytes that belong to no message: `count` of them before message
// `before` (1-based), or after the last message when `before` is 0.
struct SkippedBytes {
  int before = 0;
  int64_t count = 0;
};

// "skipped 41 bytes before message 1, 7 before message 2, 1 after the last message"
std::string describe_skipped(const std::vector<SkippedBytes>& skipped);

// Calls `each` for every message of the file open as `fd` (`path` names it
// in diagnostics), in file order; `each` may pread() from `fd`. Returns the
// bytes skipped. Ends the run with exit status 2 naming the file or the
// message for a file of no message, a message cut short, and one whose end
// marker is not where its length field says (a damaged length field):
// skipping never hides a damaged message.
std::vector<SkippedBytes> scan_grib_messages(const std::string& path, int fd,
                                             const std::function<void(const GribMessageSpan&)>& each);

}  // namespace i2m
