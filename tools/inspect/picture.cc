#include "picture.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace inspect {
namespace {

constexpr int kTargetWidth = 720;   // small grids are scaled up towards this
constexpr int kMaxScale = 16;
constexpr int kBarGap = 6;
constexpr int kBarHeight = 16;

bool drawable(float v) { return std::isfinite(v) && v != -99999.0f; }

uint8_t channel(double c) { return static_cast<uint8_t>(std::lround(255.0 * std::clamp(c, 0.0, 1.0))); }

}  // namespace

// A polynomial fit to matplotlib's viridis, within a few thousandths of it.
Rgb viridis(double t) {
  t = std::clamp(t, 0.0, 1.0);
  static const double c[7][3] = {
      {0.2777273272234177, 0.005407344544966578, 0.3340998053353061},
      {0.1050930431085774, 1.404613529898575, 1.384590162594685},
      {-0.3308618287255563, 0.214847559468213, 0.09509516302823659},
      {-4.634230498983486, -5.799100973351585, -19.33244095627987},
      {6.228269936347081, 14.17993336680509, 56.69055260068105},
      {4.776384997670288, -13.74514537774601, -65.35303263337234},
      {-5.435455855934631, 4.645852612178535, 26.3124352495832},
  };
  double rgb[3];
  for (int ch = 0; ch < 3; ++ch) {
    double v = c[6][ch];
    for (int n = 5; n >= 0; --n) v = c[n][ch] + t * v;
    rgb[ch] = v;
  }
  return {channel(rgb[0]), channel(rgb[1]), channel(rgb[2])};
}

Picture draw_record(const WorkFileLayout& layout, const std::vector<float>& values) {
  Picture pic;
  bool any = false;
  for (float v : values) {
    if (!drawable(v)) continue;
    if (!any) pic.low = pic.high = v;
    pic.low = std::min(pic.low, v);
    pic.high = std::max(pic.high, v);
    any = true;
  }
  pic.scale = std::clamp(kTargetWidth / layout.im, 1, kMaxScale);
  pic.width = layout.im * pic.scale;
  pic.map_height = layout.jm * pic.scale;
  pic.height = pic.map_height + kBarGap + kBarHeight;
  pic.pixels.assign(static_cast<size_t>(pic.width) * pic.height, Rgb{255, 255, 255});

  const double span = static_cast<double>(pic.high) - pic.low;
  auto colour_of = [&](float v) {
    if (!drawable(v)) return kMissingColour;
    return viridis(span > 0 ? (static_cast<double>(v) - pic.low) / span : 0.5);
  };
  // Rows run south to north unless the first latitude lies north of the last.
  const bool south_to_north = layout.kgds[3] <= layout.kgds[6];
  for (int j = 0; j < layout.jm; ++j) {
    const int top_row = (south_to_north ? layout.jm - 1 - j : j) * pic.scale;
    for (int i = 0; i < layout.im; ++i) {
      const Rgb c = colour_of(values[static_cast<size_t>(j) * layout.im + i]);
      for (int y = 0; y < pic.scale; ++y) {
        std::fill_n(pic.pixels.begin() + (static_cast<long>(top_row + y) * pic.width + static_cast<long>(i) * pic.scale), pic.scale, c);
      }
    }
  }
  for (int x = 0; x < pic.width; ++x) {
    const Rgb c = viridis(pic.width > 1 ? static_cast<double>(x) / (pic.width - 1) : 0.5);
    for (int y = pic.map_height + kBarGap; y < pic.height; ++y) pic.pixels[static_cast<size_t>(y) * pic.width + x] = c;
  }
  return pic;
}

void write_png(const Picture& picture, const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw InspectError(path + ": cannot create the picture");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    throw InspectError(path + ": cannot write the picture");
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.height; ++y) {
    const Rgb* row = picture.pixels.data() + static_cast<size_t>(y) * picture.width;
    png_write_row(png, reinterpret_cast<png_const_bytep>(row));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) throw InspectError(path + ": cannot write the picture");
}

}  // namespace inspect
