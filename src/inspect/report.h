// The "report" subcommand: one static page over a season of work files, to
// open from the file system without a server or a network: the data times
// that are not ready at the top, a chart of the domain means of the key
// fields over the season, and a table with one row per data time (verdict,
// ranges of the key fields, thumbnails on a common colour range, each
// linking to its full-size picture).
#pragma once

#include <string>
#include <vector>

#include "inspect/bounds.h"

namespace inspect {

struct ReportOptions {
  std::vector<std::string> work_files;
  std::string out_dir;
  std::vector<std::string> thumbnails = {"t:850", "msl", "sm1"};  // record choices
  int threads = 1;
  BoundsTable bounds;  // what the verdict holds the values to
};

struct ReportResult {
  int data_times = 0;
  int not_ready = 0;
  std::string page;  // path of index.html
};

// Writes OUT_DIR/index.html, OUT_DIR/thumbnails/ and OUT_DIR/pictures/.
// Throws InspectError naming the file on any problem with a work file.
ReportResult write_report(const ReportOptions& options);

}  // namespace inspect
