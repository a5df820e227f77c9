#include "inspect/work_file_layout.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>

#include "common/constants.h"
#include "common/failure.h"
#include "common/file_io.h"
#include "output/gdsinfo_reader.h"

namespace inspect {
namespace {

// The grid description's problems are the inspector's errors.
i2m::GdsInfo read_description(const std::string& path) {
  try {
    return i2m::read_gdsinfo(path);
  } catch (const i2m::RunFailure& failure) {
    throw InspectError(failure.message);
  }
}

void read_gdsinfo(WorkFileLayout& layout) {
  const i2m::GdsInfo g = read_description(layout.gdsinfo_path);
  layout.lm = g.lm;
  layout.levels_hpa = g.levels_hpa;
  std::copy(g.kgds.begin(), g.kgds.end(), layout.kgds);
  layout.im = g.im;
  layout.jm = g.jm;
  for (size_t f = 0; f < g.fields.size(); ++f) {
    LayoutField field;
    field.name = g.fields[f].label;
    field.unit = g.fields[f].unit;
    field.short_name = i2m::kWorkFields[f].short_name;
    field.three_d = i2m::kWorkFields[f].three_d;
    layout.fields.push_back(field);
  }
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
  if (const std::string kind = i2m::irregular_file_kind(work_path); !kind.empty()) {
    throw InspectError(work_path + ": not a regular file: " + kind);
  }
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

void read_work_record(const WorkFileLayout& layout, const RecordInfo& r, std::vector<float>& values) {
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
