// ecCodes as the GRIB sources use it: its set-up, its errors folded into the
// importer's diagnostics, handles, the keys of one message, and the reader
// that steps through the fields of a multi-field message. Only the GRIB
// source files include this.
#pragma once

#include <eccodes.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace i2m {

// Sets ecCodes up once per process: its log kept for the diagnostics, its
// assertions handed to the library failure handler, multi-field messages
// stepped through.
void configure_eccodes();

// ecCodes' text for `error`, with what it logged last on this thread.
std::string eccodes_reason(int error);

// Ends the run for an ecCodes error: memory it could not have with exit
// status 1 (the file is not to blame), anything else with exit status 2
// naming `place`.
[[noreturn]] void fail_eccodes(const std::string& place, const std::string& what, int error);

struct HandleDeleter {
  void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

// Reading keys of one message; a key that cannot be read ends the run
// naming the message. `place` must outlive the object.
class Keys {
 public:
  Keys(codes_handle* h, const std::string& place) : h_(h), place_(place) {}

  long get_long(const char* key) const;
  double get_double(const char* key) const;
  std::string get_string(const char* key) const;
  std::optional<std::string> find_string(const char* key) const;
  // nullopt for a key the message does not define, or holds as missing.
  std::optional<long> find_long(const char* key) const;
  bool is_missing(const char* key) const;
  codes_handle* handle() const { return h_; }

 private:
  [[noreturn]] void fail_key(const char* key, int error) const;
  codes_handle* h_;
  const std::string& place_;
};

// A depth or pressure from a GRIB2 fixed surface: scaled value x 10^-scale,
// or nullopt where either is missing.
std::optional<double> fixed_surface(const Keys& keys, const char* value_key, const char* scale_key);

// ecCodes' gridType, or, for the header-only view of a GRIB1 message, the
// same name from the grid's data representation type.
std::string grid_type_of(const Keys& keys);

// Reads the fields of one message held in memory, one after the other,
// through ecCodes' multi-field file reader (its in-memory counterpart does
// not step through the fields). Its state is shared by the whole library:
// callers hold a lock of their own while one lives. `bytes` must outlive it.
class MultiFieldReader {
 public:
  MultiFieldReader(void* bytes, size_t length);
  ~MultiFieldReader();
  MultiFieldReader(const MultiFieldReader&) = delete;
  MultiFieldReader& operator=(const MultiFieldReader&) = delete;

  // The next field, or null with `error` 0 after the last one.
  Handle next(int& error);

 private:
  std::FILE* file_;
};

}  // namespace i2m
