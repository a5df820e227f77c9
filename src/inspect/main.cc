// inspect_work_file: looks into a converted work file before the model
// starts: a summary with a verdict, a GrADS descriptor, a picture, or a
// report page over a season of work files.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/data_time_name.h"
#include "common/failure.h"
#include "common/replacement_file.h"
#include "inspect/grads_descriptor.h"
#include "inspect/picture.h"
#include "inspect/report.h"
#include "inspect/summary.h"
#include "inspect/work_file_layout.h"

namespace {

constexpr const char* kSubcommands[] = {"summary", "ctl", "png", "report"};

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
  std::string work, time = "2000010100", record, output, range, bounds;
  std::optional<std::string> picture_time;
  bool svg = false;
  inspect::ReportOptions report;
};

std::string default_picture_name(const Command& c) {
  std::string label = c.record;
  std::replace(label.begin(), label.end(), ':', '_');
  return c.work + "." + label + (c.svg ? ".svg" : ".png");
}

int png(const Command& c) {
  const inspect::WorkFileLayout layout = inspect::read_layout(c.work);
  inspect::PictureRequest request;
  request.choice = c.record;
  request.time = c.picture_time ? *c.picture_time : i2m::data_time_in_name(c.work);
  if (!c.range.empty()) request.range = inspect::parse_range(c.range);
  request.svg = c.svg;
  const std::string output = c.output.empty() ? default_picture_name(c) : c.output;
  const inspect::PictureInfo p = inspect::draw_picture(layout, request, output);
  std::printf("wrote %s: record %d, %s, %d x %d pixels, map %d x %d at %d,%d; colours span %s to %s; %lld missing\n",
              output.c_str(), p.record, p.title.c_str(), p.width, p.height, p.map_width, p.map_height, p.map_x,
              p.map_y, inspect::tick_label(p.scale, p.scale.low).c_str(),
              inspect::tick_label(p.scale, p.scale.high).c_str(), static_cast<long long>(p.missing));
  return 0;
}

int report(const Command& c) {
  const inspect::ReportResult r = inspect::write_report(c.report);
  std::printf("wrote %s: %d data time%s, %d not ready\n", r.page.c_str(), r.data_times, r.data_times == 1 ? "" : "s",
              r.not_ready);
  return 0;
}

// The subcommands, as their options are set up.
struct Subcommands {
  CLI::App* summary;
  CLI::App* ctl;
  CLI::App* picture;
  CLI::App* season;
};

const char* const kBoundsHelp = "A bounds file (NAME MIN MAX per line) changing the default bounds";

void add_summary_and_ctl(CLI::App& app, Command& c, Subcommands& s) {
  s.summary = app.add_subcommand(
      "summary",
      "One line per record (field, unit, level, min, max, mean over values that are neither -99999.0 nor NaN, "
      "counts of -99999.0, NaN, infinite and zero values, zeros of soil fields at sea, values outside the field's "
      "bounds) and a verdict. Exit 0: ready for the model; 1: a record holds -99999.0, NaN or infinities, values "
      "outside its bounds or one value everywhere, a soil field zeros over land, or heights do not rise.");
  s.summary->add_option("WORK_FILE", c.work, "The work file")->required();
  s.summary->add_option("--bounds", c.bounds, kBoundsHelp)->type_name("FILE");
  s.ctl = app.add_subcommand("ctl", "Writes WORK_FILE.ctl, a GrADS descriptor (also for cdo import_binary).");
  s.ctl->add_option("WORK_FILE", c.work, "The work file")->required();
  s.ctl->add_option("--time", c.time, "Its one time step: YYYYMMDDHH, YYYYMMDD or a GrADS time")
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
}

void add_picture(CLI::App& app, Command& c, Subcommands& s) {
  s.picture = app.add_subcommand("png", "Writes a picture of one record to WORK_FILE.RECORD.png.");
  s.picture->add_option("WORK_FILE", c.work, "The work file")->required();
  s.picture
      ->add_option("RECORD", c.record,
                   "A record number, a surface field (lsm msl sp topo st1 sm1 ... sm4) or a 3-D field and level "
                   "in hPa (u v z q t, e.g. t:850); or wind:LEVEL, the wind speed with arrows from u and v")
      ->required();
  s.picture->add_option("--output", c.output, "The picture's file")->type_name("FILE");
  s.picture->add_option("--time", c.picture_time, "The data time in the title (default: a 10-digit date in the file name)")
      ->type_name("TEXT");
  s.picture->add_option("--range", c.range, "A fixed colour scale, so that pictures of many data times compare")
      ->type_name("MIN/MAX")
      ->check(CLI::Validator(
          [](std::string& text) {
            return inspect::parse_range(text) ? std::string() : "expected two numbers MIN/MAX with MIN < MAX";
          },
          ""));
  s.picture->add_flag("--svg", c.svg, "Writes SVG instead of PNG");
}

void add_report(CLI::App& app, Command& c, Subcommands& s) {
  s.season = app.add_subcommand(
      "report", "Writes DIR/index.html, a page over many work files: verdicts, key fields, thumbnails and a chart.");
  s.season->add_option("WORK_FILE", c.report.work_files, "The work files of a season")->required();
  s.season->add_option("--out", c.report.out_dir, "The report's folder")->required()->type_name("DIR");
  s.season->add_option("--thumbnails", c.report.thumbnails, "The fields shown as thumbnails")
      ->capture_default_str()
      ->delimiter(',')
      ->type_name("RECORD,...");
  c.report.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  s.season->add_option("--bounds", c.bounds, kBoundsHelp)->type_name("FILE");
  s.season->add_option("--threads", c.report.threads, "Threads that read and draw")
      ->capture_default_str()
      ->check(CLI::Range(1, 256));
}

int run(Command& c, const Subcommands& s) {
  if (!c.bounds.empty()) c.report.bounds.read_file(c.bounds);
  if (s.summary->parsed()) return inspect::print_work_file_summary(inspect::read_layout(c.work), c.report.bounds, stdout);
  if (s.ctl->parsed()) {
    const std::string path = inspect::write_grads_descriptor(inspect::read_layout(c.work), inspect::grads_time(c.time));
    std::printf("wrote %s\n", path.c_str());
    return 0;
  }
  return s.season->parsed() ? report(c) : png(c);
}

// Runs the subcommand; a failure ends with one line on standard error.
int run_reporting_failures(Command& c, const Subcommands& s) {
  try {
    return run(c, s);
  } catch (const i2m::RunFailure& failure) {  // a file the shared writers could not write
    std::fprintf(stderr, "inspect_work_file: %s\n", failure.message.c_str());
    return failure.status;
  } catch (const inspect::InspectError& e) {
    std::fprintf(stderr, "inspect_work_file: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    const i2m::RunFailure failure = i2m::failure_of(e);
    std::fprintf(stderr, "inspect_work_file: %s\n", failure.message.c_str());
    return failure.status;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) fails the write that meets it, and the
  // unfinished output goes, instead of the signal ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  Command c;
  CLI::App app{
      "Reads WORK_FILE (a converter's .ZEPwrk file) and the .gdsinfo file beside it.\n"
      "Exit status 2: a usage error, or a missing, short or mismatched file."};
  i2m::add_standard_flags(app, "inspect_work_file");
  app.require_subcommand(1);
  Subcommands subcommands{};
  add_summary_and_ctl(app, c, subcommands);
  add_picture(app, c, subcommands);
  add_report(app, c, subcommands);
  const std::vector<std::string> args = in_subcommand_order(argc, argv);
  std::vector<char*> pointers;
  for (const std::string& a : args) pointers.push_back(const_cast<char*>(a.c_str()));
  if (const auto status = i2m::parse_command_line(app, static_cast<int>(pointers.size()), pointers.data())) {
    return *status;
  }
  int status = run_reporting_failures(c, subcommands);
  inspect::release_drawing_caches();
  i2m::report_stale_files_removed("inspect_work_file");
  // A summary lost on a full disk or a closed pipe is a failure, not a success.
  if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && status != 2) {
    std::fprintf(stderr, "inspect_work_file: standard output: cannot write the summary\n");
    status = 2;
  }
  return status;
}
