// A source of the tests' own behind the importer's seam: fields given in
// memory on one grid, read back as they were given. Inventory, levels,
// area, plan and writer then run in-process on data whose every value the
// test knows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "import/source.h"

namespace testing_support {

// One field's value at column i and row j (both from 0, rows south first).
using FieldValues = std::function<float(int i, int j)>;

class FakeSourceBuilder {
 public:
  // A source named `path`, the `index`-th of its import, on `grid`.
  FakeSourceBuilder(std::string path, int index, i2m::LatLonGrid grid);

  // Adds a field of `q` at `level` (Pa, the top of a soil layer in m, 0 for
  // the surface) and data time `time` (seconds since 1970).
  FakeSourceBuilder& add(i2m::Quantity q, double level, int64_t time, const FieldValues& values,
                         int64_t member = i2m::kNoMember);
  // Adds every field of a complete data time: height, both humidities,
  // temperature and winds at `levels_pa`, the four surface fields and four
  // soil layers of each kind, each from `values` shifted by the field's
  // record kind (so that no two fields are alike).
  FakeSourceBuilder& add_data_time(int64_t time, const std::vector<double>& levels_pa, const FieldValues& values);
  // Leaves out the fields of `q` (at `level` only, when given) added so far.
  FakeSourceBuilder& remove(i2m::Quantity q, double level = -1);
  // Makes the read of the field of `q` at `level` and `time` never return,
  // as a library hanging on damaged data would (the field's place is named
  // as the library's work in hand).
  FakeSourceBuilder& hang_on(i2m::Quantity q, double level, int64_t time);

  i2m::OpenedSource build() const;

 private:
  std::string path_;
  int index_;
  i2m::LatLonGrid grid_;
  std::shared_ptr<const i2m::Grid> shared_grid_;
  std::vector<i2m::FieldInfo> fields_;
  std::vector<std::vector<float>> values_;
  std::vector<bool> hangs_;
};

// 00 UTC on 1 January 2024 plus `hours`.
int64_t hours_from_2024(int hours);

}  // namespace testing_support
