#include "output/gdsinfo_reader.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <limits>

#include "common/constants.h"
#include "common/failure.h"
#include "common/file_io.h"
#include "output/work_file_format.h"

namespace i2m {
namespace {

class Lines {
 public:
  Lines(const std::string& path, std::string text) : path_(path), text_(std::move(text)) {}

  std::string next(const char* what) {
    if (at_ >= text_.size()) {
      ++number_;
      fail(std::string("ends before ") + what);
    }
    const size_t end = text_.find('\n', at_);
    std::string line = text_.substr(at_, end == std::string::npos ? std::string::npos : end - at_);
    at_ = end == std::string::npos ? text_.size() : end + 1;
    ++number_;
    return line;
  }
  void expect(const std::string& text, const char* what) {
    if (next(what) != text) fail(std::string("expected ") + what);
  }
  [[noreturn]] void fail(const std::string& why) const {
    fail_file(path_, "line " + std::to_string(number_) + ": " + why);
  }

 private:
  std::string path_;
  std::string text_;
  size_t at_ = 0;
  int number_ = 0;
};

// A whole number in [lo, hi] at the start of `line` (after blanks),
// followed by exactly `label`; `expected` says what the line must be.
int64_t read_integer(Lines& lines, const std::string& line, const std::string& label, int64_t lo, int64_t hi,
                     const char* what, const std::string& expected) {
  if (line.size() <= label.size() || line.compare(line.size() - label.size(), label.size(), label) != 0) {
    lines.fail("expected " + expected);
  }
  const std::string number = line.substr(0, line.size() - label.size());
  const char* start = number.c_str();
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(start, &end, 10);
  if (end == start) lines.fail(std::string("expected a whole number for ") + what);
  std::string digits = number.substr(0, static_cast<size_t>(end - start));
  digits.erase(0, digits.find_first_not_of(' '));
  if (*end != '\0') lines.fail(std::string("unexpected characters after the ") + what + " " + digits);
  if (errno == ERANGE || value < lo || value > hi) {
    lines.fail(std::string("the ") + what + " " + digits + " is out of its range (" +
               std::to_string(lo) + " to " + std::to_string(hi) + ")");
  }
  return value;
}

float read_pressure(Lines& lines, const std::string& line) {
  const char* start = line.c_str();
  char* end = nullptr;
  const float pa = std::strtof(start, &end);
  if (end == start) lines.fail("expected a pressure in Pa");
  for (const char* c = end; *c != '\0'; ++c) {
    if (*c != ' ') lines.fail("unexpected characters after the pressure");
  }
  if (!(pa >= 0) || pa == std::numeric_limits<float>::infinity()) lines.fail("the pressure is out of its range");
  return pa;
}

void read_levels(Lines& lines, GdsInfo& g) {
  g.lm = static_cast<int32_t>(read_integer(lines, lines.next("the number of levels"), std::string(" ") + kLevelCountText,
                                           1, 100000, "number of levels", "\"=> Number of Levels\""));
  lines.expect(std::string(" ") + kPressureHeading, "the pressure heading");
  g.levels_hpa.assign(static_cast<size_t>(g.lm), 0.0f);
  for (int32_t k = g.lm; k >= 1; --k) {
    g.levels_hpa[static_cast<size_t>(k - 1)] = read_pressure(lines, lines.next("the level pressures")) / 100.0f;
  }
}

void read_grid_description(Lines& lines, GdsInfo& g, const std::string& path) {
  constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min(), kInt32Max = std::numeric_limits<int32_t>::max();
  for (int line = 1; line <= kGridDescriptionLines; ++line) {
    const std::string label = kgds_label(line);
    const bool extent = line == 2 || line == 3;  // im and jm
    g.kgds[static_cast<size_t>(kgds_element_of_line(line) - 1)] = static_cast<int32_t>(
        read_integer(lines, lines.next("the grid description"), " " + label, extent ? 1 : kInt32Min, kInt32Max,
                     label.c_str(), "the grid description line labelled " + label));
  }
  g.im = g.kgds[1];
  g.jm = g.kgds[2];
  // A larger claim than the converter's records hold is a damaged file,
  // not a grid to allocate for.
  if (int64_t{g.im} * g.jm >= kMaxGridPoints) {
    fail_file(path, "claims " + std::to_string(g.im) + " x " + std::to_string(g.jm) +
               " points, more than a work file holds (fewer than " + std::to_string(kMaxGridPoints) + ")");
  }
}

GdsInfo::Field read_field(Lines& lines) {
  const std::string line = lines.next("the field names");
  const size_t open = line.rfind('(');
  const size_t close = line.rfind(')');
  if (line.size() < 2 || line[0] != ' ' || open == std::string::npos || close != line.size() - 1) {
    lines.fail("expected a field name with its unit in parentheses");
  }
  GdsInfo::Field f;
  f.label = line.substr(1, open - 1);
  f.label.erase(f.label.find_last_not_of(' ') + 1);
  f.unit = line.substr(open + 1, close - open - 1);
  return f;
}

void read_field_list(Lines& lines, GdsInfo& g) {
  lines.expect("", "an empty line");
  lines.expect(std::string(" ") + kFieldListHeading, "the field list heading");
  lines.expect("", "an empty line");
  lines.expect(std::string(" ") + kThreeDHeading, "the 3D heading");
  lines.expect(std::string(" ") + kRecordOrderLine, "the record order line");
  for (int f = 0; f < kWorkFieldCount; ++f) {
    if (f == kThreeDFields) {
      lines.expect("", "an empty line");
      lines.expect(std::string(" ") + kTwoDHeading, "the 2D heading");
    }
    g.fields.push_back(read_field(lines));
  }
}

}  // namespace

int64_t GdsInfo::work_file_size() const { return work_record_count(lm) * record_bytes(); }

GdsInfo read_gdsinfo(const std::string& path) {
  if (const std::string kind = irregular_file_kind(path); !kind.empty()) {
    fail_file(path, "not a regular file: " + kind);
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail_file_errno(path, "cannot open the grid description file");
  Lines lines(path, read_whole_file(fd, path));
  GdsInfo g;
  read_levels(lines, g);
  read_grid_description(lines, g, path);
  read_field_list(lines, g);
  return g;
}

}  // namespace i2m
