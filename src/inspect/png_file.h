// PNG files of the pictures, written through libpng with settings for speed:
// a season report writes thousands of them, and the default (every filter
// tried on every row, zlib level 6) spends most of a picture's time there.
#pragma once

#include <string>

namespace inspect {

// Writes `height` rows of `width` pixels, each pixel a 32-bit word
// 0x00RRGGBB (cairo's RGB24), rows `stride` bytes apart. Throws InspectError
// naming `path` when the file cannot be written.
void write_png(const unsigned char* pixels, int width, int height, int stride, const std::string& path);

}  // namespace inspect
