// How a run ends early. Every phase either returns with its work done or
// throws RunFailure; main() turns it into the diagnostic and exit status.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace i2m {

// Exit statuses of the converter, as scripts see them.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitNoStorage = 1,   // the field set could not be allocated
  kExitFileError = 2,   // a file could not be opened, read, parsed or written
  kExitDataStop = 3,    // the data hold a gap that cannot be repaired
};

// Thrown to end the run. An empty message means that nothing goes to
// standard error (a data stop has already written its line to the log).
struct RunFailure {
  int status;
  std::string message;
};

// Ends the run with exit status 2: "<file>: <reason>".
[[noreturn]] void fail_file(std::string_view file, std::string_view reason);

// Ends the run with exit status 2, the reason taken from errno.
[[noreturn]] void fail_file_errno(std::string_view file, std::string_view action);

// Ends the run with exit status 3 after the stop line has been logged.
[[noreturn]] void stop_on_data();

// Ends the run with exit status 1: "<what>: Allocation would exceed memory limit".
[[noreturn]] void fail_storage(std::string_view what);

// How a standard exception that reached main() ends the run: storage that
// could not be had (bad_alloc, a thread or a buffer the system refused)
// with exit status 1, anything else with exit status 2 and its text.
RunFailure failure_of(const std::exception& e);

}  // namespace i2m
