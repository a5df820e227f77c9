// Which field a thread's library (ecCodes, netCDF-C, HDF5) is working on,
// so that a crash inside the library on a damaged file can be reported as
// the importer's diagnostic, naming the field, instead of as a crash.
#pragma once

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
};

// The place a library is working on in this thread, or nullptr. Safe to
// call from a signal handler.
const std::string* library_place_in_hand();

}  // namespace i2m
