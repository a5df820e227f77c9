#include "import/output_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <filesystem>
#include <system_error>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/replacement_file.h"
#include "import/archive.h"
#include "control/run_control.h"
#include "control/run_control_writer.h"
#include "input/record_layout.h"
#include "input/record_writer.h"

namespace i2m {
namespace {

namespace fs = std::filesystem;

// The control file's text after its first line (the model name, which
// tells nothing of the records).
std::string grid_and_levels(const std::string& control) {
  const size_t line_end = control.find('\n');
  return line_end == std::string::npos ? "" : control.substr(line_end + 1);
}

std::string existing_control(const std::string& dir) {
  const std::string path = dir + "/" + kRunControlName;
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return "";
  return read_text_file(path);
}

// The .bin files of `dir` that the plan's control file would not describe.
std::vector<std::string> foreign_record_files(const ImportPlan& plan, const std::string& dir) {
  const std::string control = existing_control(dir);
  const bool other_control = !control.empty() && grid_and_levels(control) !=
                                                     grid_and_levels(format_run_control(plan.control, plan.levels_hpa));
  const auto points = static_cast<size_t>(plan.control.im) * static_cast<size_t>(plan.control.jm);
  const auto file_bytes = static_cast<uintmax_t>(input_record_count(plan.control.lm) * input_record_bytes(points));
  std::vector<std::string> foreign;
  std::error_code error;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, error)) {
    const std::string name = e.path().filename().string();
    if (name.size() < 5 || name.front() == '.' || !name.ends_with(".bin")) continue;
    std::error_code size_error;
    // A symbolic link to where a file is to be written holds no data yet.
    if (e.is_symlink(size_error) && !fs::exists(e.path(), size_error)) continue;
    if (other_control || !e.is_regular_file(size_error) || e.file_size(size_error) != file_bytes) foreign.push_back(name);
  }
  if (error) fail_file(dir, "cannot list the output folder: " + error.message());
  std::sort(foreign.begin(), foreign.end());
  return foreign;
}

// "a.bin, b.bin, c.bin and 4 more"
std::string some_of(const std::vector<std::string>& names) {
  std::string text;
  for (size_t n = 0; n < names.size() && n < 3; ++n) text += (n == 0 ? "" : ", ") + names[n];
  if (names.size() > 3) text += " and " + std::to_string(names.size() - 3) + " more";
  return text;
}

void remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail_file_errno(path, "cannot remove");
}

// A record file, the control file or the date file: the names an import
// writes.
bool is_import_output(const std::string& name) {
  return is_data_time_file_name(name) || name == kRunControlName || name == kDateName || name == kArchiveMemberName;
}

// Whether the process that made a temporary file is this one or another
// import that still runs (its name, as the system keeps it, cut to 15
// characters).
bool held_by_running_import(const std::string& name) {
  const long owner = replaced_by_process(name);
  if (owner == ::getpid()) return true;
  std::FILE* comm = std::fopen(("/proc/" + std::to_string(owner) + "/comm").c_str(), "r");
  if (comm == nullptr) return false;
  char command[32] = {};
  const bool read = std::fgets(command, sizeof command, comm) != nullptr;
  std::fclose(comm);
  return read && std::string_view(command).starts_with("import_data_tim");
}

// Temporary files of an import that was killed before it could remove
// them. Once the folder is locked no other import writes its outputs here;
// an import that has not locked it yet may be unpacking an archive's member
// into it, so a file of a process that still runs stays.
std::vector<std::string> remove_leftovers(const std::string& dir) {
  std::vector<std::string> removed;
  std::error_code error;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, error)) {
    const std::string name = e.path().filename().string();
    if (!is_import_output(replaced_name(name))) continue;
    if (replaced_name(name) == kArchiveMemberName && held_by_running_import(name)) continue;
    remove_file(dir + "/" + name);
    removed.push_back(name);
  }
  if (error) fail_file(dir, "cannot list the output folder: " + error.message());
  std::sort(removed.begin(), removed.end());
  return removed;
}

}  // namespace

OutputFolder OutputFolder::claim(const ImportPlan& plan, const std::string& dir, bool replace) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) fail_file(dir, "cannot create the output folder: " + error.message());
  // The folder itself is the lock: no file of the lock's stays behind.
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) fail_file_errno(dir, "cannot open the output folder");
  OutputFolder folder(fd);
  // Two imports into one folder follow each other: the second then sees
  // what the first wrote, and refuses it if it is of another grid.
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) fail_file_errno(dir, "cannot lock the output folder");
  }
  folder.leftovers_ = remove_leftovers(dir);
  const std::vector<std::string> foreign = foreign_record_files(plan, dir);
  if (foreign.empty()) return folder;
  if (!replace) {
    fail_file(dir, "holds " + std::to_string(foreign.size()) + " .bin file" + (foreign.size() == 1 ? "" : "s") +
                       " of another grid or level list (" + some_of(foreign) +
                       "): import into another folder, or remove them first with --replace");
  }
  // The old control and date files go too: they describe the removed files.
  for (const std::string& name : foreign) remove_file(dir + "/" + name);
  remove_file(dir + "/" + kRunControlName);
  remove_file(dir + "/" + kDateName);
  folder.cleared_ = foreign;
  return folder;
}

}  // namespace i2m
