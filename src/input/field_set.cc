#include "input/field_set.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "common/constants.h"
#include "common/failure.h"

namespace i2m {
namespace {

// Arrays start on cache-line boundaries; the block is asked for huge pages,
// which makes faulting in a gigabyte of fresh memory several times cheaper.
constexpr int64_t kArrayAlignment = 64;
constexpr int64_t kHugePage = int64_t{2} << 20;

[[noreturn]] void fail_size_overflow() {
  throw RunFailure{kExitFileError, "Integer overflow when calculating the amount of memory to allocate"};
}

int64_t round_up(int64_t n, int64_t to) {
  if (n > INT64_MAX - to) fail_size_overflow();
  return (n + to - 1) / to * to;
}

// 4 x the product of the extents, or the run ends if it overflows 64 bits.
int64_t array_bytes(int64_t a, int64_t b, int64_t c) {
  int64_t bytes = 0;
  if (__builtin_mul_overflow(a, b, &bytes) || __builtin_mul_overflow(bytes, c, &bytes) ||
      __builtin_mul_overflow(bytes, int64_t{4}, &bytes)) {
    fail_size_overflow();
  }
  return round_up(bytes, kArrayAlignment);
}

int64_t block_bytes(int64_t grid3d, int64_t surface, int64_t levels) {
  int64_t total = 0;
  if (__builtin_mul_overflow(grid3d, int64_t{6}, &total) ||
      __builtin_add_overflow(total, surface, &total) ||
      __builtin_add_overflow(total, levels, &total)) {
    fail_size_overflow();
  }
  return round_up(total, kHugePage);
}

}  // namespace

FieldSet allocate_field_set(int32_t im, int32_t jm, int32_t lm) {
  const auto grid3d = static_cast<size_t>(array_bytes(im, jm, lm));
  const auto surface = static_cast<size_t>(array_bytes(im, jm, nsfcfld));
  const auto levels = static_cast<size_t>(array_bytes(lm, 1, 1));
  const auto total = static_cast<size_t>(block_bytes(grid3d, surface, levels));

  void* block = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) {
    throw RunFailure{kExitNoStorage, std::string(std::strerror(errno)) + " (" +
                                         std::to_string(total) +
                                         " bytes): Allocation would exceed memory limit"};
  }
  ::madvise(block, total, MADV_HUGEPAGE);  // only a hint; failure is harmless

  FieldSet fs;
  fs.im = im;
  fs.jm = jm;
  fs.lm = lm;
  fs.block = block;
  fs.block_bytes = total;
  char* next = static_cast<char*>(block);
  auto take = [&next](size_t bytes) {
    float* array = reinterpret_cast<float*>(next);
    next += bytes;
    return array;
  };
  // Same order as the arrays are listed in the data set's description.
  fs.ht = take(grid3d);
  fs.tp = take(grid3d);
  fs.uw = take(grid3d);
  fs.vw = take(grid3d);
  fs.rh = take(grid3d);
  fs.q = take(grid3d);
  // The derived humidity takes over the storage of the input's: q is read
  // only by the level check, which is over before qnew2 is written. This
  // spares a sixth of the memory a run must fault in.
  fs.qnew2 = fs.q;
  fs.slp = take(surface);
  fs.pr = take(levels);
  return fs;
}

FieldSet::FieldSet(FieldSet&& other) noexcept { *this = std::move(other); }

FieldSet& FieldSet::operator=(FieldSet&& other) noexcept {
  if (this == &other) return *this;
  if (block != nullptr) ::munmap(block, block_bytes);
  im = other.im;
  jm = other.jm;
  lm = other.lm;
  ht = std::exchange(other.ht, nullptr);
  tp = std::exchange(other.tp, nullptr);
  uw = std::exchange(other.uw, nullptr);
  vw = std::exchange(other.vw, nullptr);
  rh = std::exchange(other.rh, nullptr);
  q = std::exchange(other.q, nullptr);
  qnew2 = std::exchange(other.qnew2, nullptr);
  slp = std::exchange(other.slp, nullptr);
  pr = std::exchange(other.pr, nullptr);
  block = std::exchange(other.block, nullptr);
  block_bytes = std::exchange(other.block_bytes, 0);
  return *this;
}

FieldSet::~FieldSet() {
  if (block != nullptr) ::munmap(block, block_bytes);
}

}  // namespace i2m
