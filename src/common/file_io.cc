#include "common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/failure.h"

namespace i2m {

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::close(const std::string& path) {
  if (fd_ < 0) return;
  close_file(release(), path);
}

int open_for_reading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail_file_errno(path, "cannot open");
  return fd;
}

namespace {

const char* kind_of(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISDIR(mode)) return "a folder";
  return "not a file";
}

}  // namespace

std::string irregular_file_kind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return "";
  return kind_of(st.st_mode);
}

int open_regular_file_for_reading(const std::string& path) {
  // Without O_NONBLOCK the open of a FIFO waits for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) fail_file_errno(path, "cannot open");
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    fail_file_errno(path, "cannot read");
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    fail_file(path, std::string("not a regular file: ") + kind_of(st.st_mode));
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

int open_for_writing(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) fail_file_errno(path, "cannot create");
  return fd;
}

void close_file(int fd, const std::string& path) {
  if (::close(fd) != 0) fail_file_errno(path, "cannot close");
}

size_t read_next(int fd, const std::string& path, void* data, size_t size) {
  auto* p = static_cast<char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, p + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail_file_errno(path, "cannot read");
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void skip_bytes(int fd, const std::string& path, int64_t size) {
  if (size <= 0) return;
  if (::lseek(fd, size, SEEK_CUR) >= 0) return;
  if (errno != ESPIPE) fail_file_errno(path, "cannot seek");
  char scratch[65536];
  while (size > 0) {
    const size_t chunk = size < static_cast<int64_t>(sizeof scratch) ? static_cast<size_t>(size) : sizeof scratch;
    const size_t got = read_next(fd, path, scratch, chunk);
    if (got == 0) return;
    size -= static_cast<int64_t>(got);
  }
}

void write_at(int fd, const std::string& path, const void* data, size_t size, int64_t offset) {
  const auto* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, p + done, size - done, offset + static_cast<int64_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail_file_errno(path, "cannot write");
    }
    if (n == 0) fail_file(path, "cannot write: the system accepted no bytes");
    done += static_cast<size_t>(n);
  }
}

void write_gathered_at(int fd, const std::string& path, const iovec* pieces, int count,
                       int64_t offset) {
  size_t total = 0;
  for (int p = 0; p < count; ++p) total += pieces[p].iov_len;
  ssize_t n;
  do {
    n = ::pwritev(fd, pieces, count, offset);
  } while (n < 0 && errno == EINTR);
  if (n < 0) fail_file_errno(path, "cannot write");
  if (static_cast<size_t>(n) == total) return;
  // A short transfer (a nearly full disk, a signal): finish piece by piece,
  // so that the failure, if any, is reported with the system's reason.
  auto done = static_cast<size_t>(n);
  for (int p = 0; p < count; ++p) {
    const size_t length = pieces[p].iov_len;
    if (done < length) {
      write_at(fd, path, static_cast<const char*>(pieces[p].iov_base) + done, length - done,
               offset + static_cast<int64_t>(done));
      done = 0;
    } else {
      done -= length;
    }
    offset += static_cast<int64_t>(length);
  }
}

std::string read_whole_file(int fd, const std::string& path) {
  std::string contents;
  char buffer[65536];
  for (;;) {
    const size_t n = read_next(fd, path, buffer, sizeof buffer);
    contents.append(buffer, n);
    if (n < sizeof buffer) break;
  }
  close_file(fd, path);
  return contents;
}

std::string read_text_file(const std::string& path) {
  return read_whole_file(open_for_reading(path), path);
}

}  // namespace i2m
