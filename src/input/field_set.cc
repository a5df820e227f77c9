#include "input/field_set.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "common/constants.h"
#include "common/failure.h"

#include "common/sanitizer.h"

#ifdef I2M_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

namespace i2m {
namespace {

// The sanitizer cannot see the arrays inside one mapped block, so in such a
// build every array is followed by poisoned bytes: a loop that runs past the
// end of one array is reported instead of silently reading the next one.
#ifdef I2M_ADDRESS_SANITIZER
constexpr int64_t kRedZone = 64;
void poison(void* from, size_t bytes) { ASAN_POISON_MEMORY_REGION(from, bytes); }
void unpoison(void* from, size_t bytes) { ASAN_UNPOISON_MEMORY_REGION(from, bytes); }
#else
constexpr int64_t kRedZone = 0;
void poison(void*, size_t) {}
void unpoison(void*, size_t) {}
#endif

// Arrays start on cache-line boundaries; the block is a whole number of
// 2 MiB pages, so that a kernel set to give huge pages always can.
constexpr int64_t kArrayAlignment = 64;
constexpr int64_t kHugePage = int64_t{2} << 20;

// Only an array whose own byte count overflows is a counting failure; a
// block of arrays that each fit but together exceed any address space is
// storage that cannot be had, like any other refused request.
[[noreturn]] void fail_size_overflow() {
  throw RunFailure{kExitFileError, "Integer overflow when calculating the amount of memory to allocate"};
}

[[noreturn]] void fail_no_storage(const std::string& reason, const std::string& bytes) {
  throw RunFailure{kExitNoStorage, reason + " (" + bytes + " bytes): Allocation would exceed memory limit"};
}

[[noreturn]] void fail_block_too_large() {
  fail_no_storage(std::strerror(ENOMEM), "more than " + std::to_string(INT64_MAX));
}

int64_t round_up(int64_t n, int64_t to) {
  if (n > INT64_MAX - to) fail_block_too_large();
  return (n + to - 1) / to * to;
}

void release_block(void* block, size_t bytes) {
  if (block == nullptr) return;
  unpoison(block, bytes);  // the address range may be mapped again later
  ::munmap(block, bytes);
}

// 4 x the product of the extents, or the run ends if it overflows 64 bits.
int64_t array_bytes(int64_t a, int64_t b, int64_t c) {
  int64_t bytes = 0;
  if (__builtin_mul_overflow(a, b, &bytes) || __builtin_mul_overflow(bytes, c, &bytes) ||
      __builtin_mul_overflow(bytes, int64_t{4}, &bytes)) {
    fail_size_overflow();
  }
  return bytes;
}

// The room an array of `bytes` takes in the block, up to the next array.
int64_t slot_bytes(int64_t bytes) {
  if (bytes > INT64_MAX - kRedZone) fail_block_too_large();
  return round_up(bytes + kRedZone, kArrayAlignment);
}

int64_t block_bytes(int64_t grid3d, int64_t surface, int64_t levels) {
  int64_t total = 0;
  if (__builtin_mul_overflow(grid3d, int64_t{6}, &total) ||
      __builtin_add_overflow(total, surface, &total) ||
      __builtin_add_overflow(total, levels, &total)) {
    fail_block_too_large();
  }
  return round_up(total, kHugePage);
}

}  // namespace

FieldSet allocate_field_set(int32_t im, int32_t jm, int32_t lm) {
  const int64_t grid3d = array_bytes(im, jm, lm);
  const int64_t surface = array_bytes(im, jm, nsfcfld);
  const int64_t levels = array_bytes(lm, 1, 1);
  const auto total =
      static_cast<size_t>(block_bytes(slot_bytes(grid3d), slot_bytes(surface), slot_bytes(levels)));

  void* block = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) {
    fail_no_storage(std::strerror(errno), std::to_string(total));
  }
  // No transparent huge pages asked for: where the kernel compacts memory
  // for them (Debian's "madvise" default) and memory is fragmented, as it
  // is after some hours of a season, the compaction costs more than the
  // huge pages save.

  FieldSet fs;
  fs.im = im;
  fs.jm = jm;
  fs.lm = lm;
  fs.block = block;
  fs.block_bytes = total;
  poison(block, total);
  char* next = static_cast<char*>(block);
  auto take = [&next](int64_t bytes) {
    float* array = reinterpret_cast<float*>(next);
    unpoison(array, static_cast<size_t>(bytes));
    next += slot_bytes(bytes);
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
  release_block(block, block_bytes);
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

FieldSet::~FieldSet() { release_block(block, block_bytes); }

}  // namespace i2m
