#include "common/failure.h"

#include <cerrno>
#include <cstring>

namespace i2m {

void fail_file(std::string_view file, std::string_view reason) {
  std::string message(file);
  message += ": ";
  message += reason;
  throw RunFailure{kExitFileError, message};
}

void fail_file_errno(std::string_view file, std::string_view action) {
  const int saved = errno;
  std::string reason(action);
  reason += ": ";
  reason += std::strerror(saved);
  fail_file(file, reason);
}

void stop_on_data() { throw RunFailure{kExitDataStop, std::string()}; }

}  // namespace i2m
