// inspect_work_file: looks into a converted work file before the model
// starts: a summary with a verdict, a GrADS descriptor, or a picture.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "grads_descriptor.h"
#include "picture.h"
#include "summary.h"
#include "work_file_layout.h"

namespace {

const char* const kUsage =
    "usage: inspect_work_file WORK_FILE summary\n"
    "       inspect_work_file WORK_FILE ctl [--time YYYYMMDDHH]\n"
    "       inspect_work_file WORK_FILE png RECORD [--output FILE]\n"
    "\n"
    "Reads WORK_FILE (a converter's .ZEPwrk file) and the .gdsinfo file beside it.\n"
    "  summary  one line per record (field, unit, level, min, max, mean over values\n"
    "           that are neither -99999.0 nor NaN, counts of -99999.0, NaN, infinite\n"
    "           and zero values) and a verdict. Exit 0: ready for the model; 1: a\n"
    "           record holds -99999.0, NaN or infinities, or a soil field zeros.\n"
    "  ctl      writes WORK_FILE.ctl, a GrADS descriptor (also for cdo import_binary);\n"
    "           --time sets its one time step (default 2000010100).\n"
    "  png      writes a picture of one record to WORK_FILE.RECORD.png (or --output):\n"
    "           RECORD is a number, a surface field (lsm msl sp topo st1 sm1 ... sm4)\n"
    "           or a 3-D field and level in hPa (u v z q t, e.g. t:850).\n"
    "Exit status 2: a usage error, or a missing, short or mismatched file.\n";

int usage_error(const std::string& why) {
  std::fprintf(stderr, "inspect_work_file: %s\n%s", why.c_str(), kUsage);
  return 2;
}

std::string option(std::vector<std::string>& args, const std::string& name, const std::string& fallback) {
  for (size_t a = 0; a < args.size(); ++a) {
    if (args[a] != name) continue;
    if (a + 1 >= args.size()) throw inspect::InspectError(name + " needs a value");
    std::string value = args[a + 1];
    args.erase(args.begin() + static_cast<long>(a), args.begin() + static_cast<long>(a) + 2);
    return value;
  }
  return fallback;
}

int run(std::vector<std::string> args) {
  const std::string work = args[0], command = args[1];
  args.erase(args.begin(), args.begin() + 2);
  if (command == "summary") {
    if (!args.empty()) return usage_error("summary takes no more arguments");
    return inspect::print_summary(inspect::read_layout(work), stdout);
  }
  if (command == "ctl") {
    const std::string time = inspect::grads_time(option(args, "--time", "2000010100"));
    if (!args.empty()) return usage_error("unexpected argument " + args[0]);
    const std::string path = inspect::write_grads_descriptor(inspect::read_layout(work), time);
    std::printf("wrote %s\n", path.c_str());
    return 0;
  }
  if (command == "png") {
    std::string output = option(args, "--output", "");
    if (args.size() != 1) return usage_error("png needs one RECORD");
    const inspect::WorkFileLayout layout = inspect::read_layout(work);
    const inspect::RecordInfo& record = inspect::find_record(layout, args[0]);
    std::vector<float> values;
    inspect::read_record(layout, record, values);
    const inspect::Picture picture = inspect::draw_record(layout, values);
    if (output.empty()) {
      std::string label = args[0];
      std::replace(label.begin(), label.end(), ':', '_');
      output = work + "." + label + ".png";
    }
    inspect::write_png(picture, output);
    const inspect::FieldInfo& f = layout.fields[record.field];
    std::printf("wrote %s: record %d, %s (%s), %d x %d pixels; colours span %.6g to %.6g\n", output.c_str(),
                record.number, f.name.c_str(), f.unit.c_str(), picture.width, picture.height,
                static_cast<double>(picture.low), static_cast<double>(picture.high));
    return 0;
  }
  return usage_error("unknown subcommand " + command);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  if (args.size() < 2) return usage_error("needs a work file and a subcommand");
  try {
    return run(args);
  } catch (const inspect::InspectError& e) {
    std::fprintf(stderr, "inspect_work_file: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "inspect_work_file: %s\n", e.what());
    return 2;
  }
}
