// The "png" subcommand: a picture of one record (or of the wind at a
// level) drawn with cairo: a title, the map north up with latitude and
// longitude labels and the coastline of the work file's own land-sea mask,
// a colour bar labelled at round values with the unit, and a legend of the
// missing points. PNG, or SVG with the same drawing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inspect/colour_scale.h"
#include "inspect/work_file_layout.h"

namespace inspect {

struct PictureRequest {
  std::string choice;    // a record ("12", "topo", "t:850") or "wind:850"
  std::string time;      // the data time shown in the title; "" for none
  std::optional<std::pair<double, double>> range;  // fixed colour range
  bool svg = false;
  bool thumbnail = false;  // the map alone, 180 pixels wide, no text
};

// What was drawn, for the line the program prints and for tests.
struct PictureInfo {
  int width = 0, height = 0;                        // of the whole picture
  int map_x = 0, map_y = 0, map_width = 0, map_height = 0;
  ColourScale scale;
  int64_t missing = 0;  // points drawn in kMissingColour
  std::string title;
  int record = 0;       // the record shown (for wind: the u record)
};

// "Temperature at 850 hPa (K)", "Soil Temperature layer 3 (K)".
std::string field_title(const WorkFileLayout& layout, const RecordInfo& record);

// "2024-01-15 12 UTC" for "2024011512"; any other text as it is.
std::string readable_time(const std::string& time);

// Draws the picture into `path` (PNG, or SVG when request.svg).
PictureInfo draw_picture(const WorkFileLayout& layout, const PictureRequest& request, const std::string& path);

// Releases what cairo and fontconfig keep for the life of the process,
// so that a leak checker sees only real leaks. Call once, at the end, when
// no picture is being drawn.
void release_drawing_caches();

// Reads "MIN/MAX" (MIN < MAX); nullopt for anything else.
std::optional<std::pair<double, double>> parse_range(const std::string& text);

}  // namespace inspect
