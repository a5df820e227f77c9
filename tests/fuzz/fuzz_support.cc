#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fuzzing {
namespace {

[[noreturn]] void give_up(const char* what) {
  std::perror(what);
  std::abort();
}

std::string scratch_directory;

void remove_scratch_directory() {
  std::error_code ignored;
  std::filesystem::remove_all(scratch_directory, ignored);
}

}  // namespace

std::string enter_scratch_directory() {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) give_up("/dev/null");
  char pattern[] = "/tmp/i2m-fuzz-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) give_up("mkdtemp");
  if (::chdir(pattern) != 0) give_up("chdir");
  scratch_directory = pattern;
  std::atexit(remove_scratch_directory);
  return scratch_directory;
}

void write_bytes(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) give_up(path.c_str());
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) give_up(path.c_str());
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) give_up(path.c_str());
}

}  // namespace fuzzing
