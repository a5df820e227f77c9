#include "output/work_file_format.h"

namespace i2m {

std::string kgds_label(int line) { return "kgds(" + std::to_string(line) + ")"; }

std::string field_list_line(const WorkFileField& f) {
  constexpr size_t kLabelWidth = 26;  // the units stand in one column
  std::string line = f.label;
  line.resize(kLabelWidth, ' ');
  return line + "(" + f.unit + ")";
}

}  // namespace i2m
