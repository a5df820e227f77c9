#include "common/sha256.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"

namespace i2m {
namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98, 0x12835b01,
    0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc,
    0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147,
    0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08,
    0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208,
    0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline uint32_t rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

class Sha256 {
 public:
  void add(const unsigned char* data, size_t n) {
    length_ += n;
    // Whole blocks straight from the data; the rest through the buffer.
    while (n > 0) {
      if (filled_ == 0 && n >= 64) {
        compress(data);
        data += 64;
        n -= 64;
        continue;
      }
      const size_t take = std::min(n, size_t{64} - filled_);
      std::memcpy(block_ + filled_, data, take);
      filled_ += take;
      data += take;
      n -= take;
      if (filled_ == 64) {
        compress(block_);
        filled_ = 0;
      }
    }
  }

  std::string hex() {
    const uint64_t bits = length_ * 8;
    const unsigned char one = 0x80, zero = 0;
    const uint64_t length = length_;
    add(&one, 1);
    while (filled_ != 56) add(&zero, 1);
    length_ = length;
    for (int b = 7; b >= 0; --b) block_[filled_++] = static_cast<unsigned char>(bits >> (8 * b));
    compress(block_);
    static const char* kDigits = "0123456789abcdef";
    std::string text;
    for (uint32_t h : state_) {
      for (int b = 28; b >= 0; b -= 4) text += kDigits[(h >> b) & 0xf];
    }
    return text;
  }

 private:
  void compress(const unsigned char* block) {
    uint32_t w[64];
    for (int t = 0; t < 16; ++t) {
      w[t] = uint32_t{block[4 * t]} << 24 | uint32_t{block[4 * t + 1]} << 16 | uint32_t{block[4 * t + 2]} << 8 |
             uint32_t{block[4 * t + 3]};
    }
    for (int t = 16; t < 64; ++t) {
      const uint32_t s0 = rotate(w[t - 15], 7) ^ rotate(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const uint32_t s1 = rotate(w[t - 2], 17) ^ rotate(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::array<uint32_t, 8> v = state_;
    for (int t = 0; t < 64; ++t) {
      const uint32_t s1 = rotate(v[4], 6) ^ rotate(v[4], 11) ^ rotate(v[4], 25);
      const uint32_t choose = (v[4] & v[5]) ^ (~v[4] & v[6]);
      const uint32_t t1 = v[7] + s1 + choose + kRound[static_cast<size_t>(t)] + w[t];
      const uint32_t s0 = rotate(v[0], 2) ^ rotate(v[0], 13) ^ rotate(v[0], 22);
      const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      v = {t1 + s0 + majority, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (size_t i = 0; i < 8; ++i) state_[i] += v[i];
  }

  std::array<uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char block_[64] = {};
  size_t filled_ = 0;
  uint64_t length_ = 0;
};

}  // namespace

std::string file_sha256(const std::string& path) {
  const UniqueFd fd(open_for_reading(path));
  Sha256 hash;
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    const size_t n = read_next(fd.get(), path, buffer.data(), buffer.size());
    hash.add(buffer.data(), n);
    if (n < buffer.size()) break;
  }
  return hash.hex();
}

}  // namespace i2m
