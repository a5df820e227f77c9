#include "support/picture_check.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>

#include "support/data_time.h"

namespace testing_support {

Decoded decode_png(const std::string& path) {
  Decoded out;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  out.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) return out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  return out;
}

bool have_ocr() { return std::system("command -v tesseract > /dev/null 2>&1") == 0; }

namespace {

// Rows [top, bottom) of the picture, three times as large, as a PNG file:
// tesseract reads small labels, and lone digits in particular, far better
// at that size.
void write_enlarged(const Decoded& in, int top, int bottom, const std::string& path) {
  constexpr int kScale = 3;
  const int width = in.width * kScale, height = (bottom - top) * kScale;
  std::vector<unsigned char> out(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Decoded::Pixel p = in.at(x / kScale, top + y / kScale);
      unsigned char* q = &out[3 * (static_cast<size_t>(y) * width + x)];
      q[0] = static_cast<unsigned char>(p.r);
      q[1] = static_cast<unsigned char>(p.g);
      q[2] = static_cast<unsigned char>(p.b);
    }
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  png_image_write_to_file(&image, path.c_str(), 0, out.data(), 0, nullptr);
}

void add_words(const std::string& text, std::vector<std::string>& words) {
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
}

}  // namespace

std::vector<std::string> ocr_words(const std::string& png_path) {
  const Decoded picture = decode_png(png_path);
  const std::string part = png_path + ".ocr.png";
  // Tesseract runs in the picture's own folder: run_command keeps its
  // standard streams in files there, and tests that read pictures at the
  // same time must not share them. One thread each, for the same reason:
  // the tests already keep every core busy.
  const std::string dir = std::filesystem::absolute(png_path).parent_path().string();
  std::vector<std::string> words;
  // The whole picture as sparse text (labels scattered around a map), then
  // each band of rows between white rows that is as low as a line of text,
  // enlarged, as one line, which is how tesseract reads lone numbers such
  // as a "0" on the colour bar.
  add_words(run_command(dir, "OMP_THREAD_LIMIT=1 tesseract '" + png_path + "' - --psm 11 2> /dev/null").out, words);
  auto white = [&](int y) {
    for (int x = 0; x < picture.width; ++x) {
      if (!(picture.at(x, y) == Decoded::Pixel{255, 255, 255})) return false;
    }
    return true;
  };
  for (int y = 0; y < picture.height;) {
    if (white(y)) {
      ++y;
      continue;
    }
    const int top = y;
    while (y < picture.height && !white(y)) ++y;
    if (y - top > 40) continue;
    write_enlarged(picture, std::max(0, top - 3), std::min(picture.height, y + 3), part);
    add_words(run_command(dir, "OMP_THREAD_LIMIT=1 tesseract '" + part + "' - --psm 7 2> /dev/null").out, words);
  }
  std::remove(part.c_str());
  return words;
}

DrawnPicture parse_png_line(const std::string& out) {
  static const std::regex line(
      R"(wrote (.+): record (\d+), (.+), (\d+) x (\d+) pixels, map (\d+) x (\d+) at (\d+),(\d+); )"
      R"(colours span (\S+) to (\S+); (\d+) missing)");
  std::smatch m;
  DrawnPicture p;
  if (!std::regex_search(out, m, line)) return p;
  p.parsed = true;
  p.file = m[1];
  p.record = std::stoi(m[2]);
  p.title = m[3];
  p.width = std::stoi(m[4]);
  p.height = std::stoi(m[5]);
  p.map_width = std::stoi(m[6]);
  p.map_height = std::stoi(m[7]);
  p.map_x = std::stoi(m[8]);
  p.map_y = std::stoi(m[9]);
  p.low = m[10];
  p.high = m[11];
  p.missing = std::stol(m[12]);
  return p;
}

}  // namespace testing_support
