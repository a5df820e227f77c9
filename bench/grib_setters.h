// The benchmark generators' ecCodes helpers: a failure ends the program
// with one line naming the key. Each generator defines kProgram.
#pragma once

#include <eccodes.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {

[[noreturn]] inline void die(const char* program, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program, what.c_str());
  std::exit(2);
}

// Sets keys of one handle, ending `program` naming the key ecCodes refuses.
class Setter {
 public:
  explicit Setter(const char* program) : program_(program) {}
  void check(int error, const char* key) const {
    if (error != 0) die(program_, std::string(key) + ": " + codes_get_error_message(error));
  }
  void operator()(codes_handle* h, const char* key, long v) const { check(codes_set_long(h, key, v), key); }
  void operator()(codes_handle* h, const char* key, double v) const { check(codes_set_double(h, key, v), key); }
  void operator()(codes_handle* h, const char* key, const char* v) const {
    size_t n = std::strlen(v);
    check(codes_set_string(h, key, v, &n), key);
  }

 private:
  const char* program_;
};

}  // namespace bench
