#include "common/replacement_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

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

std::string write_target(const std::string& path) {
  constexpr int kMostLinks = 40;  // as the system's own limit on a path's links
  std::string target = path;
  for (int followed = 0;; ++followed) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    if (followed == kMostLinks) fail_file(path, "its symbolic links go round in a loop (or a chain of more than 40)");
    std::vector<char> link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1);
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<size_t>(n) >= link.size()) fail_file_errno(path, "cannot read its symbolic link");
    const std::string to(link.data(), static_cast<size_t>(n));
    const size_t slash = target.rfind('/');
    target = to.starts_with('/') || slash == std::string::npos ? to : target.substr(0, slash + 1) + to;
  }
  if (target != path) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      fail_file(path, "its symbolic link points into a folder that does not exist (" + target + ")");
    }
  }
  // Renaming a new file over a device, a FIFO or a folder would destroy
  // it (a link to /dev/null, say, run as root): a file can only be
  // replaced whole by a file.
  const std::string kind = irregular_file_kind(target);
  if (!kind.empty()) {
    fail_file(path, "cannot write: not a regular file: " + kind +
                        (target == path ? std::string() : " (where its symbolic link leads: " + target + ")"));
  }
  return target;
}

namespace {

std::mutex removed_mutex;
std::vector<std::string> removed;

// Temporary files of `target`'s name that a process left when it was
// killed (a kill -9, a file-size limit's SIGXFSZ): their process is gone.
void remove_stale_parts(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string name = target.substr(slash == std::string::npos ? 0 : slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;  // the create that follows says why
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view entry = e->d_name;
    if (entry.size() <= name.size() + 1 || entry[0] != '.' || entry.substr(1, name.size()) != name) continue;
    if (replaced_name(entry) != name) continue;
    const long owner = replaced_by_process(entry);
    if (owner == ::getpid() || ::kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH) continue;
    const std::string path = (folder == "." ? "" : folder + "/") + std::string(entry);
    if (::unlink(path.c_str()) == 0) {
      const std::lock_guard<std::mutex> lock(removed_mutex);
      removed.push_back(path);
    }
  }
  ::closedir(dir);
}

}  // namespace

// The temporary files open now, for remove_unfinished_files(): plain
// slots a signal handler may read (each holds a copy of the path that
// lives while the slot is taken).
constexpr int kSlots = 64;
constexpr size_t kSlotPath = 4096;
struct UnfinishedSlot {
  std::atomic<bool> taken{false};
  char path[kSlotPath];
};
UnfinishedSlot unfinished[kSlots];

int take_slot(const std::string& path) {
  if (path.size() >= kSlotPath) return -1;
  for (int s = 0; s < kSlots; ++s) {
    bool expected = false;
    if (!unfinished[s].taken.compare_exchange_strong(expected, true)) continue;
    std::memcpy(unfinished[s].path, path.c_str(), path.size() + 1);
    return s;
  }
  return -1;  // beyond the slots a file is only removed by its destructor
}

void free_slot(int s) {
  if (s >= 0) unfinished[s].taken = false;
}

std::vector<std::string> stale_files_removed() {
  const std::lock_guard<std::mutex> lock(removed_mutex);
  return removed;
}

void report_stale_files_removed(const char* program) {
  for (const std::string& path : stale_files_removed()) {
    std::fprintf(stderr, "%s: removed %s, left by a run that did not finish\n", program, path.c_str());
  }
}

void remove_unfinished_files() {
  for (UnfinishedSlot& slot : unfinished) {
    if (slot.taken.load()) ::unlink(slot.path);
  }
}

ReplacementFile::ReplacementFile(std::string path) : path_(std::move(path)), target_(write_target(path_)) {
  remove_stale_parts(target_);
  for (;;) {
    temporary_ = temporary_name(target_, next_number++);
    fd_ = UniqueFd(::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd_.valid()) {
      slot_ = take_slot(temporary_);
      return;
    }
    // A file left by a killed process whose number this one now has.
    if (errno != EEXIST) fail_file_errno(path_, "cannot create");
  }
}

ReplacementFile::~ReplacementFile() {
  fd_ = UniqueFd();
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
  free_slot(slot_);
}

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : path_(std::move(other.path_)), target_(std::move(other.target_)), temporary_(std::move(other.temporary_)),
      fd_(std::move(other.fd_)),
      committed_(other.committed_),
      slot_(other.slot_) {
  other.temporary_.clear();
  other.slot_ = -1;
}

void ReplacementFile::close() {
  // A close that fails loses what the system still held of the file.
  if (fd_.valid() && ::close(fd_.release()) != 0) fail_file_errno(path_, "cannot write");
}

void ReplacementFile::commit() {
  close();
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail_file_errno(path_, "cannot create");
  committed_ = true;
  free_slot(slot_);
  slot_ = -1;
}

}  // namespace i2m
