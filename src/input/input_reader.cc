#include "input/input_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include "common/byte_order.h"
#include "common/constants.h"
#include "common/failure.h"
#include "common/file_io.h"
#include "common/log_line.h"
#include "output/work_file_format.h"

namespace i2m {

// Where input record r (1-based) goes: the inverse of input_record_number.
RecordDestination record_destination(const FieldSet& fs, int64_t r) {
  const int64_t upper_records = input_record_number(InputField::slp, 0, fs.lm);
  if (r > upper_records) {
    const auto n = static_cast<int32_t>(r - upper_records);
    return {InputField::slp, n, fs.slice(fs.slp, n)};
  }
  float* const arrays[] = {fs.ht, fs.rh, fs.q, fs.tp, fs.uw, fs.vw};
  const auto field = static_cast<int32_t>((r - 1) / fs.lm);
  const auto level = static_cast<int32_t>((r - 1) % fs.lm + 1);
  return {static_cast<InputField>(field), level, fs.slice(arrays[field], level)};
}

namespace {

class RecordFileReader {
 public:
  RecordFileReader(const std::string& path, int64_t field_bytes, int64_t records_needed)
      : path_(path),
        fd_(open_for_reading(path)),
        field_bytes_(field_bytes),
        records_needed_(records_needed) {
    ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  }

  // Reads record r's first field_bytes bytes into `data` and checks both
  // of its markers; leaves the position at the next record. Reads strictly
  // front to back, so the input may also be a pipe.
  void read_input_record(int64_t r, void* data) {
    const int32_t length = read_leading_marker(r);
    if (length < 0) fail_record(r, "negative length marker " + std::to_string(length));
    if (length < field_bytes_) {
      fail_record(r, "holds " + std::to_string(length) + " bytes, a field needs " +
                         std::to_string(field_bytes_) + " (read past the end of the record)");
    }
    const auto wanted = static_cast<size_t>(field_bytes_);
    if (read_next(fd_.get(), path_, data, wanted) < wanted) fail_record(r, "end of file inside the record");
    skip_bytes(fd_.get(), path_, length - field_bytes_);
    unsigned char marker[4];
    if (read_next(fd_.get(), path_, marker, 4) < 4) fail_record(r, "end of file before its trailing length marker");
    const int32_t trailer = decode_le32(marker);
    if (trailer != length) {
      fail_record(r, "trailing length marker " + std::to_string(trailer) +
                         " does not match leading marker " + std::to_string(length));
    }
  }

  void close() { fd_.close(path_); }

 private:
  int32_t read_leading_marker(int64_t r) {
    unsigned char marker[4];
    const size_t got = read_next(fd_.get(), path_, marker, 4);
    if (got == 0) {
      fail_file(path_, "end of file before record " + std::to_string(r) + " (the file holds " +
                           std::to_string(r - 1) + " records, a run needs " +
                           std::to_string(records_needed_) + ")");
    }
    if (got < 4) fail_record(r, "end of file inside its length marker");
    return decode_le32(marker);
  }

  [[noreturn]] void fail_record(int64_t r, const std::string& reason) {
    fail_file(path_, "record " + std::to_string(r) + ": " + reason);
  }

  std::string path_;
  UniqueFd fd_;  // closed with the reader when a failure ends the run first
  int64_t field_bytes_;
  int64_t records_needed_;
};

}  // namespace

void log_input_opened(const std::string& path) { log(LogLine().text("OPEN FILE ").text(path)); }

void read_input_file(const std::string& path, FieldSet& fs, const RecordHook& after_each_record) {
  // A line with no blank in its name field names nothing: the log says so
  // as it always has, the diagnostic says why.
  const bool too_long = path.size() >= static_cast<size_t>(kNameFieldLength);
  log_input_opened(too_long ? "" : path);
  if (too_long) {
    fail_file("standard input line 1", "cannot open the input file: its path is too long (input paths may have at most " +
                                           std::to_string(kLongestInputPath) + " characters)");
  }
  // An empty path has no name to give the diagnostic: it says where it came from.
  if (path.empty()) fail_file("standard input line 1", "cannot open the input file: its path is empty (the line begins with a blank)");
  const int64_t records = input_record_count(fs.lm);
  const int64_t field_bytes = 4 * static_cast<int64_t>(fs.slice_points());
  RecordFileReader reader(path, field_bytes, records);
  for (int64_t r = 1; r <= records; ++r) {
    const RecordDestination d = record_destination(fs, r);
    reader.read_input_record(r, d.slice);
    if (after_each_record) after_each_record(d.field, d.level, d.slice, fs.slice_points());
  }
  reader.close();
}

}  // namespace i2m
