// Reading pictures back in the tests: the pixels through libpng, the text
// through OCR (tesseract), and the line that "inspect_work_file png" prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct Decoded {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // rows from the top
  struct Pixel {
    int r, g, b;
    bool operator==(const Pixel&) const = default;
  };
  Pixel at(int x, int y) const {
    const unsigned char* p = rgb.data() + 3 * (static_cast<size_t>(y) * width + x);
    return {p[0], p[1], p[2]};
  }
};

// An empty picture (width 0) when the file is no readable PNG.
Decoded decode_png(const std::string& path);

// The words tesseract reads in the picture, each on a line of its own.
std::vector<std::string> ocr_words(const std::string& png_path);

// True when tesseract is installed.
bool have_ocr();

// What "inspect_work_file png" says it drew.
struct DrawnPicture {
  bool parsed = false;
  std::string file, title, low, high;
  int record = 0, width = 0, height = 0, map_x = 0, map_y = 0, map_width = 0, map_height = 0;
  long missing = -1;
};
DrawnPicture parse_png_line(const std::string& out);

}  // namespace testing_support
