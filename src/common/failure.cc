#include "common/failure.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>

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

void fail_storage(std::string_view what) {
  throw RunFailure{kExitNoStorage, std::string(what) + ": Allocation would exceed memory limit"};
}

RunFailure failure_of(const std::exception& e) {
  const auto* system = dynamic_cast<const std::system_error*>(&e);
  const bool no_memory = system != nullptr && (system->code() == std::errc::not_enough_memory ||
                                              system->code() == std::errc::resource_unavailable_try_again);
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr || dynamic_cast<const std::length_error*>(&e) != nullptr ||
      no_memory) {
    return {kExitNoStorage, std::string("cannot allocate memory (") + e.what() + "): Allocation would exceed memory limit"};
  }
  return {kExitFileError, std::string("cannot go on: ") + e.what()};
}

}  // namespace i2m
