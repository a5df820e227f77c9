#include "inspect/work_file_layout.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/constants.h"

namespace inspect {
namespace {

// A FIFO or a device would make the reader wait or read without end.
void check_regular_file(const std::string& path, const char* what) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    throw InspectError(path + ": not a regular file (the " + what + " must be one)");
  }
}

class LineSource {
 public:
  explicit LineSource(const std::string& path) : path_(path) {
    check_regular_file(path, "grid description file");
    in_.open(path);
    if (!in_) throw InspectError(path + ": cannot open the grid description file");
  }
  std::string next(const char* what) {
    std::string line;
    if (!std::getline(in_, line)) fail(std::string("ends before ") + what);
    ++number_;
    return line;
  }
  [[noreturn]] void fail(const std::string& why) const {
    throw InspectError(path_ + ": line " + std::to_string(number_ + 1) + ": " + why);
  }
  void expect(const std::string& text, const char* what) {
    const std::string line = next(what);
    if (line != text) {
      --number_;
      fail(std::string("expected ") + what);
    }
  }

 private:
  std::string path_;
  std::ifstream in_;
  int number_ = 0;
};

long parse_integer(LineSource& src, const std::string& text, const char* what) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str()) src.fail(std::string("expected an integer for ") + what);
  return value;
}

// A field's line: its label and unit as the file gives them, its short
// name and kind from the format.
LayoutField parse_field(LineSource& src, int index) {
  const std::string line = src.next("the field names");
  const size_t open = line.rfind('(');
  const size_t close = line.rfind(')');
  if (line.size() < 2 || line[0] != ' ' || open == std::string::npos || close != line.size() - 1) {
    src.fail("expected a field name with its unit in parentheses");
  }
  LayoutField f;
  f.name = line.substr(1, open - 1);
  f.name.erase(f.name.find_last_not_of(' ') + 1);
  f.unit = line.substr(open + 1, close - open - 1);
  f.short_name = i2m::kWorkFields[index].short_name;
  f.three_d = i2m::kWorkFields[index].three_d;
  return f;
}

// The count of levels and their pressures, top level first.
void read_levels(LineSource& src, WorkFileLayout& layout) {
  const std::string first = src.next("the number of levels");
  if (first.find(&i2m::kLevelCountText[1]) == std::string::npos) src.fail("expected \"=> Number of Levels\"");
  layout.lm = static_cast<int32_t>(parse_integer(src, first, "the number of levels"));
  if (layout.lm < 1 || layout.lm > 100000) src.fail("implausible number of levels");
  src.expect(std::string(" ") + i2m::kPressureHeading, "the pressure heading");
  layout.levels_hpa.assign(static_cast<size_t>(layout.lm), 0.0f);
  for (int32_t k = layout.lm; k >= 1; --k) {
    const std::string line = src.next("the level pressures");
    char* end = nullptr;
    const float pa = std::strtof(line.c_str(), &end);
    if (end == line.c_str()) src.fail("expected a pressure in Pa");
    layout.levels_hpa[static_cast<size_t>(k - 1)] = pa / 100.0f;
  }
}

void read_grid_description(LineSource& src, WorkFileLayout& layout) {
  for (int line_number = 1; line_number <= i2m::kGridDescriptionLines; ++line_number) {
    const std::string line = src.next("the grid description");
    const std::string label = i2m::kgds_label(line_number);
    if (line.size() < label.size() || line.compare(line.size() - label.size(), label.size(), label) != 0) {
      src.fail("expected the grid description line labelled " + label);
    }
    layout.kgds[i2m::kgds_element_of_line(line_number) - 1] =
        static_cast<int32_t>(parse_integer(src, line, label.c_str()));
  }
  layout.im = layout.kgds[1];
  layout.jm = layout.kgds[2];
  if (layout.im < 1 || layout.jm < 1) src.fail("the grid description gives no points");
  // A larger claim than the converter's records hold is a damaged file,
  // not a grid to allocate for.
  if (static_cast<int64_t>(layout.im) * layout.jm >= i2m::kMaxGridPoints) {
    throw InspectError(layout.gdsinfo_path + ": claims " + std::to_string(layout.im) + " x " + std::to_string(layout.jm) +
                       " points, more than a work file holds (fewer than " + std::to_string(i2m::kMaxGridPoints) + ")");
  }
}

void read_field_list(LineSource& src, WorkFileLayout& layout) {
  src.expect("", "an empty line");
  src.expect(std::string(" ") + i2m::kFieldListHeading, "the field list heading");
  src.expect("", "an empty line");
  src.expect(std::string(" ") + i2m::kThreeDHeading, "the 3D heading");
  src.expect(std::string(" ") + i2m::kRecordOrderLine, "the record order line");
  for (int f = 0; f < i2m::kWorkFieldCount; ++f) {
    if (f == i2m::kThreeDFields) {
      src.expect("", "an empty line");
      src.expect(std::string(" ") + i2m::kTwoDHeading, "the 2D heading");
    }
    layout.fields.push_back(parse_field(src, f));
  }
}

void read_gdsinfo(WorkFileLayout& layout) {
  LineSource src(layout.gdsinfo_path);
  read_levels(src, layout);
  read_grid_description(src, layout);
  read_field_list(src, layout);
}

// The records in the format's order: each 3-D field's levels from the
// bottom up, then the surface fields.
void build_records(WorkFileLayout& layout) {
  for (int f = 0; f < i2m::kWorkFieldCount; ++f) {
    const bool three_d = i2m::kWorkFields[f].three_d;
    for (int k = 1; k <= (three_d ? layout.lm : 1); ++k) {
      const int number = static_cast<int>(i2m::work_record_number(f, k, layout.lm));
      layout.records.push_back({number, f, three_d ? k : 0, three_d ? layout.levels_hpa[static_cast<size_t>(k - 1)] : 0.0f});
    }
  }
}

}  // namespace

WorkFileLayout read_layout(const std::string& work_path) {
  WorkFileLayout layout;
  layout.work_path = work_path;
  layout.gdsinfo_path = work_path + ".gdsinfo";
  struct stat st {};
  if (::stat(work_path.c_str(), &st) != 0) throw InspectError(work_path + ": no such work file");
  check_regular_file(work_path, "work file");
  read_gdsinfo(layout);
  build_records(layout);
  if (st.st_size != layout.expected_size()) {
    throw InspectError(work_path + ": holds " + std::to_string(st.st_size) + " bytes, but its grid description (" +
                       std::to_string(layout.im) + " x " + std::to_string(layout.jm) + " points, " +
                       std::to_string(layout.lm) + " levels) needs " + std::to_string(layout.expected_size()));
  }
  return layout;
}

const RecordInfo& find_record(const WorkFileLayout& layout, const std::string& choice) {
  char* end = nullptr;
  const long number = std::strtol(choice.c_str(), &end, 10);
  if (!choice.empty() && *end == '\0') {
    if (number < 1 || number > static_cast<long>(layout.records.size())) {
      throw InspectError("record " + choice + " does not exist (1 to " + std::to_string(layout.records.size()) + ")");
    }
    return layout.records[number - 1];
  }
  const size_t colon = choice.find(':');
  const std::string name = choice.substr(0, colon);
  for (const RecordInfo& r : layout.records) {
    const LayoutField& f = layout.fields[static_cast<size_t>(r.field)];
    if (f.short_name != name) continue;
    if (!f.three_d && colon == std::string::npos) return r;
    if (f.three_d && colon != std::string::npos &&
        std::fabs(r.level_hpa - std::strtof(choice.c_str() + colon + 1, nullptr)) < 1e-3f) {
      return r;
    }
  }
  throw InspectError("no record \"" + choice + "\" (use a record number, a surface field such as sm1, "
                     "or a 3-D field and level such as t:850)");
}

void read_record(const WorkFileLayout& layout, const RecordInfo& r, std::vector<float>& values) {
  values.resize(static_cast<size_t>(layout.im) * layout.jm);
  std::ifstream in(layout.work_path, std::ios::binary);
  in.seekg((r.number - 1) * layout.record_bytes());
  in.read(reinterpret_cast<char*>(values.data()), static_cast<std::streamsize>(layout.record_bytes()));
  if (!in) throw InspectError(layout.work_path + ": cannot read record " + std::to_string(r.number));
}

std::string level_text(const WorkFileLayout& layout, const RecordInfo& r) {
  if (!layout.fields[r.field].three_d) return "";
  char level[32];
  std::snprintf(level, sizeof level, " at %g hPa", static_cast<double>(r.level_hpa));
  return level;
}

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace inspect
