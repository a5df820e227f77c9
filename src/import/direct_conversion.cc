#include "import/direct_conversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <utility>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/log_line.h"
#include "common/replacement_file.h"
#include "common/sha256.h"
#include "common/version.h"
#include "control/run_control_writer.h"
#include "driver/conv2model.h"
#include "import/data_time.h"
#include "input/input_reader.h"
#include "output/work_file_format.h"

namespace i2m {
namespace {

// A name no other batch has: the time, the host and random bits, as the
// batch scripts name theirs.
std::string new_batch_id() {
  char when[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(when, sizeof when, "%Y%m%dT%H%M%SZ", std::gmtime(&now));
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0) std::snprintf(host, sizeof host, "host");
  std::random_device random;
  char bits[16];
  std::snprintf(bits, sizeof bits, "%06x%06x", random() & 0xffffff, random() & 0xffffff);
  return std::string(when) + "-" + host + "-" + bits;
}

void write_text(const std::string& path, const std::string& text) {
  ReplacementFile file(path);
  write_at(file.fd(), path, text.data(), text.size(), 0);
  file.commit();
}

// The "name value" lines of a manifest.
std::string manifest_value(const std::string& manifest, const std::string& name) {
  size_t at = 0;
  while (at < manifest.size()) {
    const size_t end = manifest.find('\n', at);
    const std::string line = manifest.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (line.starts_with(name + " ")) return line.substr(name.size() + 1);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return "";
}

bool file_of_size(const std::string& path, const std::string& size) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && std::to_string(st.st_size) == size;
}

std::string read_if_present(const std::string& path) {
  std::ifstream in(path);
  if (!in) return "";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

DirectConversion::DirectConversion(const ImportPlan& plan, const std::string& dir, std::string command, bool resume)
    : plan_(plan), logs_(dir + "/" + kDirectLogFolder), command_(std::move(command)),
      control_text_(format_run_control(plan.control, plan.levels_hpa)) {
  std::error_code error;
  std::filesystem::create_directories(logs_, error);
  if (error) fail_file(logs_, "cannot create the log folder: " + error.message());
  const std::string absolute = std::filesystem::absolute(dir, error).lexically_normal().string();
  for (const DataTimePlan& d : plan.times) {
    inputs_.push_back((absolute.ends_with('/') ? absolute : absolute + "/") + d.file_name);
  }
  done_before_.assign(plan.times.size(), false);
  std::string batch = read_if_present(logs_ + "/batch.id");
  while (!batch.empty() && (batch.back() == '\n' || batch.back() == '\r')) batch.pop_back();
  if (resume && !batch.empty()) {
    batch_ = batch;
    for (size_t n = 0; n < plan.times.size(); ++n) {
      const std::string manifest = read_if_present(logs_ + "/" + key(n) + ".status");
      done_before_[n] = manifest_value(manifest, "batch") == batch_ && manifest_value(manifest, "status") == "0" &&
                        file_of_size(manifest_value(manifest, "work_file"), manifest_value(manifest, "work_file_size")) &&
                        file_of_size(manifest_value(manifest, "gdsinfo"), manifest_value(manifest, "gdsinfo_size"));
    }
    return;
  }
  batch_ = new_batch_id();
  std::string list;
  for (const std::string& input : inputs_) list += input + "\n";
  write_text(logs_ + "/inputs.txt", list);
  write_text(logs_ + "/batch.id", batch_ + "\n");
}

bool DirectConversion::wanted(size_t index) {
  if (!done_before_[index]) return true;
  ++tally_.skipped;
  return false;
}

// The batch scripts' key: the index and the file name, whose characters
// (those of the importer's names) need no escaping.
std::string DirectConversion::key(size_t index) const {
  char number[16];
  std::snprintf(number, sizeof number, "%06zu_", index + 1);
  return number + plan_.times[index].file_name;
}

bool DirectConversion::convert(size_t index, const std::function<void(FieldSet& fs)>& fill) {
  const auto start = std::chrono::steady_clock::now();
  const std::string& input = inputs_[index];
  const std::string log_path = logs_ + "/" + key(index) + ".log";
  ReplacementFile log_file(log_path);
  std::FILE* stream = ::fdopen(::dup(log_file.fd()), "w");
  if (stream == nullptr) fail_file_errno(log_path, "cannot write");
  int status = kExitSuccess;
  {
    const LogRedirect redirect(stream);
    ConversionSources sources{ListReader(kRunControlPath, control_text_),
                              [&] { return format_data_time(plan_.times.front().time).substr(0, 8); },
                              [&](FieldSet& fs) {
                                log_input_opened(input);
                                fill(fs);
                              }};
    try {
      convert_data_time(input, std::move(sources));
    } catch (const RunFailure& failure) {
      if (failure.status != kExitDataStop) {
        std::fclose(stream);
        log_file.commit();  // the log of the data time that failed stays, to read
        throw;
      }
      status = kExitDataStop;
    }
  }
  const bool written = std::fflush(stream) == 0 && !std::ferror(stream);
  if (std::fclose(stream) != 0 || !written) fail_file(log_path, "cannot write the converter's log");
  log_file.commit();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  finish();
  manifest_ = std::thread([this, index, status, seconds] {
    try {
      write_manifest(index, status, seconds);
    } catch (...) {
      manifest_error_ = std::current_exception();
    }
  });
  ++(status == kExitSuccess ? tally_.converted : tally_.stopped);
  return status == kExitSuccess;
}

void DirectConversion::finish() {
  if (manifest_.joinable()) manifest_.join();
  if (manifest_error_) std::rethrow_exception(std::exchange(manifest_error_, nullptr));
}

DirectConversion::~DirectConversion() {
  if (manifest_.joinable()) manifest_.join();
}

// The manifest as the batch scripts write it (tools/batch_lib.sh,
// write_manifest): the record file's size and checksum only where it was
// kept, the outputs' only after a conversion that ended well.
void DirectConversion::write_manifest(size_t index, int status, double seconds) const {
  const std::string& input = inputs_[index];
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.2f", seconds);
  std::string text = "status " + std::to_string(status) + "\nseconds " + elapsed + "\nbatch " + batch_ + "\ninput " +
                     input + "\n";
  struct stat st {};
  if (::stat(input.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    text += "input_size " + std::to_string(st.st_size) + "\ninput_sha256 " + file_sha256(input) + "\n";
  }
  if (status == kExitSuccess) {
    const std::string work = input + std::string(kWorkFileSuffix);
    for (const auto& [kind, path] : {std::pair<const char*, std::string>{"work_file", work},
                                     {"gdsinfo", work + std::string(kGdsinfoSuffix)}}) {
      if (::stat(path.c_str(), &st) != 0) fail_file_errno(path, "cannot read");
      text += std::string(kind) + " " + path + "\n" + kind + "_size " + std::to_string(st.st_size) + "\n" + kind +
              "_sha256 " + file_sha256(path) + "\n";
    }
  }
  text += std::string("program import_data_times ") + project_version() + " --convert\ncommand " + command_ + "\n";
  write_text(logs_ + "/" + key(index) + ".status", text);
}

}  // namespace i2m
