#include "inspect/grads_descriptor.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "common/file_io.h"
#include "common/replacement_file.h"
#include "common/version.h"

namespace inspect {
namespace {

// A linear axis from the grid numbers (thousandths of a degree): the first
// point and the increment, or the span divided evenly when no usable
// increment is given.
void axis(double first, double last, double increment, int points, double& start, double& step) {
  start = std::fmin(first, last);
  step = std::fabs(increment);
  if (step == 0 && points > 1) step = std::fabs(last - first) / (points - 1);
  if (step == 0) step = 1;
}

}  // namespace

std::string grads_time(const std::string& when) {
  static const char* const months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  bool digits = !when.empty();
  for (char c : when) digits = digits && std::isdigit(static_cast<unsigned char>(c));
  if (!digits) {
    if (when.find('Z') != std::string::npos) return when;  // already a GrADS time
    throw InspectError("--time: \"" + when + "\" is neither YYYYMMDDHH, YYYYMMDD nor a GrADS time like 00Z01JAN2024");
  }
  if (when.size() != 8 && when.size() != 10) throw InspectError("--time: expected YYYYMMDDHH or YYYYMMDD");
  const int month = std::stoi(when.substr(4, 2));
  if (month < 1 || month > 12) throw InspectError("--time: month " + when.substr(4, 2) + " does not exist");
  const std::string hour = when.size() == 10 ? when.substr(8, 2) : "00";
  return hour + "Z" + when.substr(6, 2) + months[month - 1] + when.substr(0, 4);
}

std::string grads_descriptor(const WorkFileLayout& layout, const std::string& time) {
  const int32_t* k = layout.kgds;
  double lon0, dlon, lat0, dlat;
  axis(k[4] / 1000.0, k[7] / 1000.0, k[8] / 1000.0, layout.im, lon0, dlon);
  axis(k[3] / 1000.0, k[6] / 1000.0, k[9] / 1000.0, layout.jm, lat0, dlat);
  const bool north_to_south = k[3] > k[6];

  std::ostringstream out;
  out << "DSET ^" << base_name(layout.work_path) << "\n";
  out << "TITLE Input2ModelData work file " << base_name(layout.work_path) << " (described by inspect_work_file "
      << i2m::project_version() << ")\n";
  out << "OPTIONS little_endian" << (north_to_south ? " yrev" : "") << "\n";
  out << "UNDEF -99999.0\n";
  char line[128];
  std::snprintf(line, sizeof line, "XDEF %d LINEAR %.6f %.6f\n", layout.im, lon0, dlon);
  out << line;
  std::snprintf(line, sizeof line, "YDEF %d LINEAR %.6f %.6f\n", layout.jm, lat0, dlat);
  out << line;
  out << "ZDEF " << layout.lm << " LEVELS";
  for (float p : layout.levels_hpa) out << " " << p;
  out << "\n";
  out << "TDEF 1 LINEAR " << time << " 6hr\n";
  out << "VARS " << layout.fields.size() << "\n";
  for (const LayoutField& f : layout.fields) {
    out << f.short_name << " " << (f.three_d ? layout.lm : 0) << " 99 " << f.name << " (" << f.unit << ")\n";
  }
  out << "ENDVARS\n";
  return out.str();
}

std::string write_grads_descriptor(const WorkFileLayout& layout, const std::string& time) {
  std::string path = layout.work_path + ".ctl";
  const std::string text = grads_descriptor(layout, time);
  i2m::ReplacementFile out(path);
  i2m::write_at(out.fd(), path, text.data(), text.size(), 0);
  out.commit();
  return path;
}

}  // namespace inspect
