#include "output/grid_description.h"

#include "common/failure.h"
#include "common/file_io.h"
#include "common/log_line.h"
#include "common/name_field.h"
#include "output/work_file_format.h"

namespace i2m {

GridDescription fill_kgds(const RunControl& rc) {
  GridDescription kgds{};  // elements 12 to 19 stay 0
  kgds[0] = rc.grid_type;
  kgds[1] = rc.im;
  kgds[2] = rc.jm;
  kgds[3] = rc.la1;
  kgds[4] = rc.lo1;
  kgds[5] = 128;  // direction increments given
  kgds[6] = rc.la2;
  kgds[7] = rc.lo2;
  kgds[8] = rc.di;
  kgds[9] = rc.dj;
  kgds[10] = 64;   // west to east, south to north, west-east index fastest
  kgds[19] = 255;  // no vertical coordinates, no list of points per row
  return kgds;
}

std::string grid_description_text(const GridDescription& kgds, int32_t lm, const float* pr) {
  std::string out;
  append_line(out, LogLine().integer(lm).text(kLevelCountText));
  append_line(out, LogLine().text(kPressureHeading));
  // From the top level down, in Pa; the product is formed in single precision.
  for (int32_t k = lm; k >= 1; --k) append_line(out, LogLine().real(100.0f * pr[k - 1]));
  for (int line = 1; line <= kGridDescriptionLines; ++line) {
    append_line(out, LogLine().integer(kgds[static_cast<size_t>(kgds_element_of_line(line) - 1)]).text(kgds_label(line)));
  }
  append_line(out, LogLine());
  append_line(out, LogLine().text(kFieldListHeading));
  append_line(out, LogLine());
  append_line(out, LogLine().text(kThreeDHeading));
  append_line(out, LogLine().text(kRecordOrderLine));
  for (int f = 0; f < kWorkFieldCount; ++f) {
    if (f == kThreeDFields) {
      append_line(out, LogLine());
      append_line(out, LogLine().text(kTwoDHeading));
    }
    append_line(out, LogLine().text(field_list_line(kWorkFields[f])));
  }
  return out;
}

ReplacementFile write_grid_description(const std::string& work_name_field, std::string_view input_path,
                                       const RunControl& rc, const float* pr) {
  const std::string field =
      make_name_field(std::string(name_before_first_blank(work_name_field)) + ".gdsinfo");
  const std::string name(name_before_first_blank(field));
  if (name.empty()) {
    fail_file(field, "cannot create the grid description file: its name fills the whole 255-character name field "
                     "(input paths may have at most " + std::to_string(kLongestInputPath) + " characters)");
  }
  ReplacementFile file(name);
  log(LogLine().text("calling get_fullgds with ").text(input_path));
  const GridDescription kgds = fill_kgds(rc);
  log(LogLine().text("back from get_fullgds"));
  LogLine kgds_line;
  kgds_line.text("writing kgds ");
  for (int n = 1; n <= 14; ++n) kgds_line.integer(kgds[n - 1]);
  log(kgds_line);
  log(LogLine().text("GDS written to ").text(name));
  const std::string text = grid_description_text(kgds, rc.lm, pr);
  write_at(file.fd(), name, text.data(), text.size(), 0);
  file.close();
  log(LogLine().text("past 14 close"));
  return file;
}

}  // namespace i2m
