// Which field a thread's library (ecCodes, netCDF-C, HDF5) is working on,
// so that a crash or a hang inside the library on a damaged file can be
// reported as the importer's diagnostic, naming the field, instead of as a
// crash or a process that never ends.
#pragma once

#include <functional>
#include <string>

namespace i2m {

// Names `place` ("FILE: message 12") as the field this thread's library
// calls work on, for as long as the object lives.
class LibraryAtWork {
 public:
  explicit LibraryAtWork(const std::string& place);
  ~LibraryAtWork();
  LibraryAtWork(const LibraryAtWork&) = delete;
  LibraryAtWork& operator=(const LibraryAtWork&) = delete;

 private:
  const std::string* previous_;
  long long previous_start_;
};

// The place a library is working on in this thread, or nullptr. Safe to
// call from a signal handler.
const std::string* library_place_in_hand();

// A library ends the process when some damaged data fail its internal
// checks (ecCodes: an assertion, then abort). A handler set here is called
// instead, with the place of the field being read (or "" outside any) and
// the library's message. It must not return: the library would go on past
// its failed check.
using LibraryFailureHandler = void (*)(const std::string& place, const char* message);
void set_library_failure_handler(LibraryFailureHandler handler);
LibraryFailureHandler library_failure_handler();

// Whether the process is near its address-space limit (ulimit -v): a
// library that fails there failed for want of memory, not on damaged data.
// Safe to call from a signal handler once note_page_size() has run.
bool memory_is_short();

// Reads what memory_is_short() needs that a signal handler may not ask for;
// call once at start-up.
void note_page_size();

// Runs `work` first in a child process (its standard error closed, its
// crash handlers the system's) and tells whether it came through; a
// library that frees memory twice on some damaged data ends only the child.
// The caller then does the work itself. Failures of the importer's own in
// the child are left for the caller to meet.
bool survives_in_child(const std::function<void()>& work);

// Starts a thread that calls `handler` (which must not return) with the
// place a library has worked on for more than `seconds` without returning.
using HangHandler = void (*)(const std::string& place, int seconds);
void start_library_watchdog(int seconds, HangHandler handler);

}  // namespace i2m
