// The page of the season report: plain HTML with an inline SVG chart and a
// few lines of script, nothing fetched from anywhere but the report's own
// folder, so that it opens from the file system without a network.
#pragma once

#include <string>
#include <vector>

#include "inspect/colour_scale.h"

namespace inspect {

// The key fields of the table and the chart, as record choices and labels.
struct KeyField {
  const char* choice;
  const char* label;
};
inline constexpr KeyField kKeyFields[] = {
    {"t:850", "850 hPa temperature (K)"},     {"z:500", "500 hPa height (m)"},
    {"msl", "mean sea-level pressure (hPa)"}, {"sp", "surface pressure (hPa)"},
    {"sm1", "soil moisture, layer 1 (0-1)"},
};
inline constexpr int kKeys = static_cast<int>(std::size(kKeyFields));

// A record's values in one work file, from the summary's statistics.
struct Range {
  bool present = false;  // the file holds the record
  bool valid = false;    // and it holds values that are neither missing nor NaN
  double min = 0, max = 0, mean = 0;
};

// What the page shows of one work file.
struct ReportRow {
  std::string work;   // the work file's path
  std::string time;   // YYYYMMDDHH from its name, or ""
  std::string id;     // the file name stem of its pictures
  std::vector<std::string> problems;  // none: ready
  Range keys[kKeys];
  std::vector<Range> thumbnails;  // one per thumbnail field
};

// A thumbnail column: the field's title and its colour range over the season.
struct ThumbnailColumn {
  std::string title;
  ColourScale scale;
};

// The picture file of row `row`, thumbnail column `column` (in both
// "thumbnails/" and "pictures/").
std::string picture_name(const ReportRow& row, size_t column);

// The page for `rows` (in time order).
std::string report_page(const std::vector<ReportRow>& rows, const std::vector<ThumbnailColumn>& columns);

}  // namespace inspect
