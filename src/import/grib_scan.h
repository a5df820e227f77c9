// The messages of a GRIB file, found with ecCodes' own message reader and
// checked before any is parsed: each whole, each ending with its end marker
// where its length field says, nothing but zeros between and after them.
// Only the GRIB source files include this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

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

// Calls `each` for every message of the file open as `fd` (`path` names it
// in diagnostics), in file order; `each` may pread() from `fd`. Ends the
// run with exit status 2 naming the file or the message for a file of no
// message, a message cut short, one whose end marker is not where its
// length field says (a damaged length field), and bytes that belong to no
// message.
void scan_grib_messages(const std::string& path, int fd, const std::function<void(const GribMessageSpan&)>& each);

}  // namespace i2m
