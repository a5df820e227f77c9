#include "inspect/png_file.h"

#include <png.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/replacement_file.h"
#include "inspect/work_file_layout.h"

namespace inspect {
namespace {

// libpng reports errors by longjmp; nothing with a destructor may live
// between setjmp and the calls that can jump, so the rows are converted in
// a buffer that the caller owns.
bool write_rows(std::FILE* file, const unsigned char* pixels, int width, int height, int stride,
                std::vector<unsigned char>& row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  // One cheap filter and fast deflate: the pictures are flat areas of
  // colour, which compress well at any level.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const unsigned char* in = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
    for (int x = 0; x < width; ++x) {
      uint32_t word;
      std::memcpy(&word, in + 4 * static_cast<size_t>(x), 4);
      row[3 * static_cast<size_t>(x)] = static_cast<unsigned char>(word >> 16);
      row[3 * static_cast<size_t>(x) + 1] = static_cast<unsigned char>(word >> 8);
      row[3 * static_cast<size_t>(x) + 2] = static_cast<unsigned char>(word);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

void write_png(const unsigned char* pixels, int width, int height, int stride, const std::string& path) {
  // Through a temporary name: a full disk or a kill leaves no cut picture.
  i2m::ReplacementFile out(path);
  out.close();
  std::FILE* file = std::fopen(out.temporary_path().c_str(), "wb");
  if (file == nullptr) throw InspectError(path + ": cannot create the picture: " + std::strerror(errno));
  std::vector<unsigned char> row(3 * static_cast<size_t>(width));
  const bool written = write_rows(file, pixels, width, height, stride, row);
  if (std::fclose(file) != 0 || !written) throw InspectError(path + ": cannot write the picture");
  out.commit();
}

}  // namespace inspect
