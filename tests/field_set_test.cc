// The layout of the field set's one block: every array where the rest of
// the program expects it, none overlapping another, and (in the sanitizer
// build) an overrun past any array reported rather than landing in the next.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "input/field_set.h"

namespace {

struct Array {
  const char* name;
  float* start;
  size_t values;
};

std::vector<Array> arrays_of(const i2m::FieldSet& fs) {
  const size_t grid = fs.slice_points() * static_cast<size_t>(fs.lm);
  return {{"ht", fs.ht, grid}, {"tp", fs.tp, grid},   {"uw", fs.uw, grid},
          {"vw", fs.vw, grid}, {"rh", fs.rh, grid},   {"q", fs.q, grid},
          {"slp", fs.slp, fs.slice_points() * 12},    {"pr", fs.pr, static_cast<size_t>(fs.lm)}};
}

TEST(FieldSet, ArraysAreAlignedDisjointAndInsideTheBlock) {
  const std::pair<int32_t, int32_t> shapes[] = {{2, 2}, {5, 3}, {16, 4}, {7, 11}};
  for (const auto& [im, lm] : shapes) {
    SCOPED_TRACE(std::to_string(im) + " x 3 x " + std::to_string(lm));
    i2m::FieldSet fs = i2m::allocate_field_set(im, 3, lm);
    EXPECT_EQ(fs.qnew2, fs.q);
    const auto* block = static_cast<const char*>(fs.block);
    const char* previous_end = block;
    for (const Array& a : arrays_of(fs)) {
      SCOPED_TRACE(a.name);
      const auto* start = reinterpret_cast<const char*>(a.start);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(start) % 64, 0u);
      EXPECT_GE(start, previous_end);
      previous_end = start + a.values * sizeof(float);
      EXPECT_LE(previous_end, block + fs.block_bytes);
      for (size_t i = 0; i < a.values; ++i) a.start[i] = 1.0f;  // every value can be written
    }
  }
}

TEST(FieldSet, MovedSetOwnsTheBlock) {
  i2m::FieldSet a = i2m::allocate_field_set(3, 3, 2);
  float* ht = a.ht;
  i2m::FieldSet b = std::move(a);
  EXPECT_EQ(b.ht, ht);
  EXPECT_EQ(a.block, nullptr);
  b = i2m::allocate_field_set(2, 2, 1);  // releases the first block
  EXPECT_EQ(b.im, 2);
}

#ifdef I2M_SANITIZER_BUILD
TEST(FieldSetDeathTest, ReadingPastAnyArrayIsReported) {
  i2m::FieldSet fs = i2m::allocate_field_set(5, 3, 2);
  for (const Array& a : arrays_of(fs)) {
    SCOPED_TRACE(a.name);
    EXPECT_DEATH(
        {
          volatile float past = a.start[a.values];
          (void)past;
        },
        "use-after-poison");
  }
}
#endif

}  // namespace
