// Thin wrappers over POSIX file calls that end the run with exit status 2
// and a diagnostic naming the file when the system refuses. Grid data move
// through these straight from and to the arrays, in one transfer each.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace i2m {

// A file descriptor closed with its owner, for the paths on which a
// failure ends the run before the file is closed. close() is the checked
// close of a complete transfer.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Hands the descriptor over; the object then holds none.
  int release();
  // Closes, ending the run with exit status 2 naming `path` when the
  // system reports a failure (a write it could not complete).
  void close(const std::string& path);

 private:
  int fd_;
};

// Opens `path` for reading; `path` may be empty (the open then fails).
int open_for_reading(const std::string& path);

// What `path` is when it exists and is not a regular file ("a FIFO", "a
// socket", "a character device", "a block device", "a folder"); "" for a
// regular file or a path that cannot be reached (whose open then says why).
// Links are followed.
std::string irregular_file_kind(const std::string& path);

// Opens `path` for reading when it is a regular file; a FIFO, socket,
// device or folder is refused at once (exit status 2, "not a regular file:
// a FIFO") instead of blocking on it or reading it without end.
int open_regular_file_for_reading(const std::string& path);

// Creates or truncates `path` for writing.
int open_for_writing(const std::string& path);

void close_file(int fd, const std::string& path);

// Reads up to `size` bytes from the current position (files, pipes and
// FIFOs alike); returns how many were there before end of file.
size_t read_next(int fd, const std::string& path, void* data, size_t size);

// Moves the read position `size` bytes on; on a pipe the bytes are read and
// dropped. Stopping at end of file is not an error here: the next read
// finds it.
void skip_bytes(int fd, const std::string& path, int64_t size);

// Writes all `size` bytes at `offset`.
void write_at(int fd, const std::string& path, const void* data, size_t size, int64_t offset);

// Writes the `count` pieces one after the other from `offset`, in as few
// transfers as the system allows. The pieces are left as they were.
void write_gathered_at(int fd, const std::string& path, const iovec* pieces, int count,
                       int64_t offset);

// Reads an open small text file whole and closes it.
std::string read_whole_file(int fd, const std::string& path);

// The whole content of a small text file that must exist.
std::string read_text_file(const std::string& path);

}  // namespace i2m
