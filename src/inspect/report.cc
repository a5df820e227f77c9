#include "inspect/report.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "common/data_time_name.h"
#include "common/file_io.h"
#include "common/parallel.h"
#include "common/replacement_file.h"
#include "inspect/picture.h"
#include "inspect/report_page.h"
#include "inspect/summary.h"
#include "inspect/work_file_layout.h"

namespace inspect {
namespace {

// A picture file name made of the work file's name, safe in a URL; the
// index keeps two files of one name in different folders apart.
std::string picture_id(const std::string& work, size_t index) {
  std::string id = std::to_string(index) + "_";
  for (char c : base_name(work)) id += std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' ? c : '_';
  return id;
}

Range range_of(const WorkFileLayout& layout, const Evaluation& e, const std::string& choice) {
  const RecordInfo* record = nullptr;
  try {
    record = &find_record(layout, choice);
  } catch (const InspectError&) {
    return {};  // a record this file does not hold: the row shows "-"
  }
  const RecordStats& s = e.stats[static_cast<size_t>(record - layout.records.data())];
  if (s.valid == 0) return {true, false, 0, 0, 0};
  return {true, true, s.min, s.max, s.mean};
}

ReportRow read_row(const std::string& work, size_t index, const ReportOptions& options,
                   std::vector<std::string>& titles) {
  const std::vector<std::string>& thumbnails = options.thumbnails;
  const WorkFileLayout layout = read_layout(work);
  const Evaluation e = evaluate(layout, options.bounds);
  ReportRow row;
  row.work = work;
  row.time = i2m::data_time_in_name(work);
  row.id = picture_id(work, index);
  row.problems = e.problems;
  for (int k = 0; k < kKeys; ++k) row.keys[k] = range_of(layout, e, kKeyFields[k].choice);
  for (size_t t = 0; t < thumbnails.size(); ++t) {
    row.thumbnails.push_back(range_of(layout, e, thumbnails[t]));
    if (row.thumbnails.back().present) titles[t] = field_title(layout, find_record(layout, thumbnails[t]));
  }
  return row;
}

// One colour range per thumbnail field over the whole season, so that the
// thumbnails of a column compare.
ColourScale season_scale(const std::vector<ReportRow>& rows, size_t t) {
  double lo = INFINITY, hi = -INFINITY;
  for (const ReportRow& r : rows) {
    const Range& range = r.thumbnails[t];
    if (!range.valid || !std::isfinite(range.min) || !std::isfinite(range.max)) continue;
    lo = std::min(lo, range.min);
    hi = std::max(hi, range.max);
  }
  if (!std::isfinite(lo)) lo = hi = 0;
  return round_scale(lo, hi);
}

void draw_pictures(const ReportRow& row, size_t t, const std::string& choice, const ColourScale& scale,
                   const std::string& out_dir) {
  const WorkFileLayout layout = read_layout(row.work);
  PictureRequest request;
  request.choice = choice;
  request.time = row.time;
  request.range = std::make_pair(scale.low, scale.high);
  draw_picture(layout, request, out_dir + "/pictures/" + picture_name(row, t));
  request.thumbnail = true;
  draw_picture(layout, request, out_dir + "/thumbnails/" + picture_name(row, t));
}

void make_folders(const std::string& out_dir) {
  namespace fs = std::filesystem;
  std::error_code error;
  for (const char* sub : {"thumbnails", "pictures"}) {
    fs::create_directories(fs::path(out_dir) / sub, error);
    if (error) throw InspectError(out_dir + ": cannot create the report folder: " + error.message());
  }
}

}  // namespace

ReportResult write_report(const ReportOptions& options) {
  make_folders(options.out_dir);
  const std::vector<std::string>& choices = options.thumbnails;
  std::vector<ReportRow> rows(options.work_files.size());
  std::vector<std::vector<std::string>> titles(rows.size(), std::vector<std::string>(choices.size()));
  i2m::WorkerPool pool(options.threads);
  pool.run(rows.size(), [&](size_t n, int) { rows[n] = read_row(options.work_files[n], n, options, titles[n]); });
  // In time order; files whose names carry no date after the rest, by name.
  std::stable_sort(rows.begin(), rows.end(), [](const ReportRow& a, const ReportRow& b) {
    return std::make_tuple(a.time.empty(), a.time, a.work) < std::make_tuple(b.time.empty(), b.time, b.work);
  });

  std::vector<ThumbnailColumn> columns(choices.size());
  for (size_t t = 0; t < choices.size(); ++t) {
    for (const std::vector<std::string>& row_titles : titles) {
      if (columns[t].title.empty()) columns[t].title = row_titles[t];
    }
    if (columns[t].title.empty()) throw InspectError("--thumbnails: no work file holds the record \"" + choices[t] + "\"");
    columns[t].scale = season_scale(rows, t);
  }
  pool.run(rows.size() * choices.size(), [&](size_t job, int) {
    const ReportRow& row = rows[job / choices.size()];
    const size_t t = job % choices.size();
    if (row.thumbnails[t].present) draw_pictures(row, t, choices[t], columns[t].scale, options.out_dir);
  });

  ReportResult result;
  result.data_times = static_cast<int>(rows.size());
  for (const ReportRow& r : rows) result.not_ready += r.problems.empty() ? 0 : 1;
  result.page = options.out_dir + "/index.html";
  const std::string page = report_page(rows, columns);
  i2m::ReplacementFile out(result.page);
  i2m::write_at(out.fd(), result.page, page.data(), page.size(), 0);
  out.commit();
  return result;
}

}  // namespace inspect
