// inspect_work_file: looks into a converted work file before the model
// starts: a summary with a verdict, a GrADS descriptor, or a picture.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "grads_descriptor.h"
#include "picture.h"
#include "summary.h"
#include "work_file_layout.h"

namespace {

constexpr const char* kSubcommands[] = {"summary", "ctl", "png"};

bool is_subcommand(const std::string& word) {
  return std::any_of(std::begin(kSubcommands), std::end(kSubcommands), [&](const char* s) { return word == s; });
}

// "inspect_work_file WORK_FILE summary", the order of earlier versions, is
// turned into "inspect_work_file summary WORK_FILE".
std::vector<std::string> in_subcommand_order(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  if (args.size() >= 3 && !is_subcommand(args[1]) && args[1].rfind('-', 0) != 0 && is_subcommand(args[2])) {
    std::swap(args[1], args[2]);
  }
  return args;
}

struct Command {
  std::string work, time = "2000010100", record, output;
};

int png(const Command& c) {
  const inspect::WorkFileLayout layout = inspect::read_layout(c.work);
  const inspect::RecordInfo& record = inspect::find_record(layout, c.record);
  std::vector<float> values;
  inspect::read_record(layout, record, values);
  const inspect::Picture picture = inspect::draw_record(layout, values);
  std::string output = c.output;
  if (output.empty()) {
    std::string label = c.record;
    std::replace(label.begin(), label.end(), ':', '_');
    output = c.work + "." + label + ".png";
  }
  inspect::write_png(picture, output);
  const inspect::FieldInfo& f = layout.fields[record.field];
  std::printf("wrote %s: record %d, %s (%s), %d x %d pixels; colours span %.6g to %.6g\n", output.c_str(),
              record.number, f.name.c_str(), f.unit.c_str(), picture.width, picture.height,
              static_cast<double>(picture.low), static_cast<double>(picture.high));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Command c;
  CLI::App app{
      "Reads WORK_FILE (a converter's .ZEPwrk file) and the .gdsinfo file beside it.\n"
      "Exit status 2: a usage error, or a missing, short or mismatched file."};
  i2m::add_standard_flags(app, "inspect_work_file");
  app.require_subcommand(1);
  CLI::App* summary = app.add_subcommand(
      "summary",
      "One line per record (field, unit, level, min, max, mean over values that are neither -99999.0 nor NaN, "
      "counts of -99999.0, NaN, infinite and zero values, zeros of soil fields at sea) and a verdict. Exit 0: "
      "ready for the model; 1: a record holds -99999.0, NaN or infinities, or a soil field zeros over land.");
  CLI::App* ctl = app.add_subcommand("ctl", "Writes WORK_FILE.ctl, a GrADS descriptor (also for cdo import_binary).");
  CLI::App* picture = app.add_subcommand("png", "Writes a picture of one record to WORK_FILE.RECORD.png.");
  for (CLI::App* sub : {summary, ctl, picture}) sub->add_option("WORK_FILE", c.work, "The work file")->required();
  ctl->add_option("--time", c.time, "Its one time step: YYYYMMDDHH, YYYYMMDD or a GrADS time")
      ->capture_default_str()
      ->type_name("YYYYMMDDHH")
      ->check(CLI::Validator(
          [](std::string& when) {
            try {
              inspect::grads_time(when);
              return std::string();
            } catch (const inspect::InspectError& e) {
              return std::string(e.what()).substr(std::string("--time: ").size());
            }
          },
          ""));
  picture
      ->add_option("RECORD", c.record,
                   "A record number, a surface field (lsm msl sp topo st1 sm1 ... sm4) or a 3-D field and level "
                   "in hPa (u v z q t, e.g. t:850)")
      ->required();
  picture->add_option("--output", c.output, "The picture's file")->type_name("FILE");

  const std::vector<std::string> args = in_subcommand_order(argc, argv);
  std::vector<char*> pointers;
  for (const std::string& a : args) pointers.push_back(const_cast<char*>(a.c_str()));
  if (const auto status = i2m::parse_command_line(app, static_cast<int>(pointers.size()), pointers.data())) {
    return *status;
  }
  try {
    if (summary->parsed()) return inspect::print_summary(inspect::read_layout(c.work), stdout);
    if (ctl->parsed()) {
      const std::string path = inspect::write_grads_descriptor(inspect::read_layout(c.work), inspect::grads_time(c.time));
      std::printf("wrote %s\n", path.c_str());
      return 0;
    }
    return png(c);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "inspect_work_file: %s\n", e.what());
    return 2;
  }
}
