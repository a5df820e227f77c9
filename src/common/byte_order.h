// The only place that knows the byte order of the files. Input record
// markers and every stored value are 4-byte little-endian; the grid arrays
// are read and written as raw memory, which is only right on a
// little-endian host, so the build refuses any other.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace i2m {

static_assert(std::endian::native == std::endian::little,
              "grid arrays are transferred as raw little-endian memory");

inline int32_t decode_le32(const unsigned char* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) |
                              static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

inline void encode_le32(int32_t value, unsigned char* p) {
  const auto u = static_cast<uint32_t>(value);
  p[0] = static_cast<unsigned char>(u);
  p[1] = static_cast<unsigned char>(u >> 8);
  p[2] = static_cast<unsigned char>(u >> 16);
  p[3] = static_cast<unsigned char>(u >> 24);
}

}  // namespace i2m
