#include "common/replacement_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "common/failure.h"

namespace i2m {
namespace {

// Temporary names are told apart by process and by a count within it, so
// that two runs writing into one folder, or two threads of one run, never
// share one.
std::atomic<unsigned> next_number{0};

std::string temporary_name(const std::string& path, unsigned number) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  // A name component holds at most 255 bytes: the final name is cut.
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1, 200);
  char suffix[48];
  std::snprintf(suffix, sizeof suffix, ".%ld-%u.part", static_cast<long>(::getpid()), number);
  return folder + "." + name + suffix;
}

// Strips a trailing run of digits from `text`; false when there is none.
bool strip_digits(std::string_view& text) {
  size_t n = text.size();
  while (n > 0 && text[n - 1] >= '0' && text[n - 1] <= '9') --n;
  if (n == text.size()) return false;
  text.remove_suffix(text.size() - n);
  return true;
}

bool strip_suffix(std::string_view& text, std::string_view suffix) {
  if (!text.ends_with(suffix)) return false;
  text.remove_suffix(suffix.size());
  return true;
}

}  // namespace

std::string replaced_name(std::string_view file_name) {
  if (!file_name.starts_with('.')) return "";
  file_name.remove_prefix(1);
  if (!strip_suffix(file_name, ".part") || !strip_digits(file_name) || !strip_suffix(file_name, "-") ||
      !strip_digits(file_name) || !strip_suffix(file_name, ".") || file_name.empty()) {
    return "";
  }
  return std::string(file_name);
}

long replaced_by_process(std::string_view file_name) {
  if (replaced_name(file_name).empty()) return 0;
  file_name.remove_suffix(std::string_view(".part").size());
  file_name = file_name.substr(0, file_name.rfind('-'));
  return std::strtol(std::string(file_name.substr(file_name.rfind('.') + 1)).c_str(), nullptr, 10);
}

ReplacementFile::ReplacementFile(std::string path) : path_(std::move(path)) {
  for (;;) {
    temporary_ = temporary_name(path_, next_number++);
    fd_ = UniqueFd(::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd_.valid()) return;
    // A file left by a killed process whose number this one now has.
    if (errno != EEXIST) fail_file_errno(path_, "cannot create");
  }
}

ReplacementFile::~ReplacementFile() {
  fd_ = UniqueFd();
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : path_(std::move(other.path_)), temporary_(std::move(other.temporary_)), fd_(std::move(other.fd_)),
      committed_(other.committed_) {
  other.temporary_.clear();
}

void ReplacementFile::close() {
  // A close that fails loses what the system still held of the file.
  if (fd_.valid() && ::close(fd_.release()) != 0) fail_file_errno(path_, "cannot write");
}

void ReplacementFile::commit() {
  close();
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) fail_file_errno(path_, "cannot create");
  committed_ = true;
}

}  // namespace i2m
