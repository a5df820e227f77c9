// A file that replaces whatever stands under its name whole or not at all.
// It is written under a temporary name in the same folder and renamed over
// the final name once complete; a run that fails, is killed or meets a
// full disk before that leaves the previous file (or none) in place, never
// a part of the new one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/file_io.h"

namespace i2m {

// The name (within its folder) that a temporary file of the form
// ".<name>.<pid>-<n>.part" was to replace, or "" for any other name: how a
// later run recognises what a killed one left behind.
std::string replaced_name(std::string_view file_name);

// The process that made such a temporary file, or 0 for another name.
long replaced_by_process(std::string_view file_name);

// The file a write to `path` reaches: `path`, or, when it is a symbolic
// link, the file its links lead to (which need not exist yet). Ends the
// run with exit status 2 naming `path` for links that go round in a loop
// or lead into a folder that does not exist, and for a file that exists
// there but is no regular file (a device, a FIFO, a folder): it would be
// lost under the new file.
std::string write_target(const std::string& path);

// Removes the temporary files of every ReplacementFile still open: for a
// program that ends at once (_Exit) on a failure it handles, where no
// destructor runs. Safe to call from a signal handler.
void remove_unfinished_files();

// The temporary files of earlier runs that ReplacementFile removed (see
// below), by path, for the program to say so.
std::vector<std::string> stale_files_removed();

// Says on standard error, one line each, which of those `program` removed.
void report_stale_files_removed(const char* program);

class ReplacementFile {
 public:
  // Creates the temporary file ".<name>.<pid>-<n>.part" beside the file a
  // write to `path` reaches (write_target(): an output name that is a
  // symbolic link is written where it points, and stays a link), empty
  // and new, with the permissions the umask gives. Temporary files of the
  // same name that a killed process left there (its process is gone) are
  // removed first. Ends the run with exit status 2 naming `path` when its
  // folder refuses.
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
  std::string target_;  // where the file is written: path_ or where its links lead
  std::string temporary_;
  UniqueFd fd_;
  bool committed_ = false;
  int slot_ = -1;  // its place among the files remove_unfinished_files() knows
};

}  // namespace i2m
