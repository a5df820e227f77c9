// A file that replaces whatever stands under its name whole or not at all.
// It is written under a temporary name in the same folder and renamed over
// the final name once complete; a run that fails, is killed or meets a
// full disk before that leaves the previous file (or none) in place, never
// a part of the new one.
#pragma once

#include <string>
#include <string_view>

#include "common/file_io.h"

namespace i2m {

// The name (within its folder) that a temporary file of the form
// ".<name>.<pid>-<n>.part" was to replace, or "" for any other name: how a
// later run recognises what a killed one left behind.
std::string replaced_name(std::string_view file_name);

// The process that made such a temporary file, or 0 for another name.
long replaced_by_process(std::string_view file_name);

class ReplacementFile {
 public:
  // Creates the temporary file ".<name>.<pid>-<n>.part" beside `path`,
  // empty and new, with the permissions the umask gives. Ends the run with
  // exit status 2 naming `path` when its folder refuses.
  explicit ReplacementFile(std::string path);
  // Removes the temporary file unless commit() has renamed it.
  ~ReplacementFile();
  ReplacementFile(ReplacementFile&& other) noexcept;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // The descriptor of the temporary file, open for writing until close().
  int fd() const { return fd_.get(); }
  // The final name: the one diagnostics give.
  const std::string& path() const { return path_; }
  // Where a library that opens files by name writes.
  const std::string& temporary_path() const { return temporary_; }

  // Closes the temporary file; a failure (a full disk) ends the run
  // naming the final name.
  void close();
  // Closes, when still open, and renames the temporary file over the final name.
  void commit();

 private:
  std::string path_;
  std::string temporary_;
  UniqueFd fd_;
  bool committed_ = false;
};

}  // namespace i2m
