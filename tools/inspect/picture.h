// The "png" subcommand: a picture of one record, north up, in a perceptually
// uniform colour map (viridis), with missing values and NaNs in magenta and
// a colour bar below the map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "work_file_layout.h"

namespace inspect {

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kMissingColour{255, 0, 255};

// Viridis at t in [0, 1].
Rgb viridis(double t);

struct Picture {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;  // rows from the top
  float low = 0, high = 0;  // the value range the colours span
  int scale = 1;            // pixels per grid point
  int map_height = 0;       // rows of the map; the colour bar follows
};

// Draws the record: `values` im x jm, west-east fastest; north up according
// to the grid's first and last latitudes. Values that are -99999.0, NaN or
// infinite are drawn in kMissingColour and left out of the range.
Picture draw_record(const WorkFileLayout& layout, const std::vector<float>& values);

// Writes the picture as an 8-bit RGB PNG file.
void write_png(const Picture& picture, const std::string& path);

}  // namespace inspect
