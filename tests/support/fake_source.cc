#include "support/fake_source.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/constants.h"

namespace testing_support {
namespace {

class FakeSource : public i2m::Source {
 public:
  explicit FakeSource(std::vector<std::vector<float>> values) : values_(std::move(values)) {}
  size_t read(const i2m::FieldInfo& field, float* out) const override {
    const std::vector<float>& v = values_[field.locator];
    std::copy(v.begin(), v.end(), out);
    return static_cast<size_t>(std::count(v.begin(), v.end(), i2m::input_missing_flag));
  }

 private:
  std::vector<std::vector<float>> values_;
};

}  // namespace

FakeSourceBuilder::FakeSourceBuilder(std::string path, int index, i2m::LatLonGrid grid)
    : path_(std::move(path)), index_(index), grid_(grid) {}

FakeSourceBuilder& FakeSourceBuilder::add(i2m::Quantity q, double level, int64_t time, const FieldValues& values,
                                          int64_t member) {
  i2m::FieldInfo f;
  f.valid_time = time;
  f.quantity = q;
  f.level = level;
  f.layer_bottom = i2m::is_soil(q) ? level + 0.1 : 0;
  f.grid = grid_;
  f.name = std::string(i2m::quantity_name(q));
  f.units = std::string(i2m::quantity_unit(q));
  f.place = path_ + ": field " + std::to_string(fields_.size() + 1);
  f.source = index_;
  f.member = member;
  std::vector<float> v;
  for (int j = 0; j < grid_.nj; ++j) {
    for (int i = 0; i < grid_.ni; ++i) v.push_back(values(i, j));
  }
  fields_.push_back(f);
  values_.push_back(std::move(v));
  return *this;
}

FakeSourceBuilder& FakeSourceBuilder::add_data_time(int64_t time, const std::vector<double>& levels_pa,
                                                    const FieldValues& values) {
  auto shifted = [&](int kind) { return [=](int i, int j) { return values(i, j) + static_cast<float>(kind); }; };
  for (i2m::Quantity q : i2m::kUpperAirOrder) {
    for (double pa : levels_pa) add(q, pa, time, shifted(i2m::record_kind(q, 0)));
  }
  for (i2m::Quantity q : i2m::kSurfaceOrder) add(q, 0, time, shifted(i2m::record_kind(q, 1)));
  for (int layer = 1; layer <= i2m::kSoilLayers; ++layer) {
    for (i2m::Quantity q : {i2m::Quantity::soil_temperature, i2m::Quantity::soil_moisture}) {
      add(q, 0.1 * (layer - 1), time, shifted(i2m::record_kind(q, layer)));
    }
  }
  return *this;
}

FakeSourceBuilder& FakeSourceBuilder::remove(i2m::Quantity q, double level) {
  for (size_t n = fields_.size(); n-- > 0;) {
    if (fields_[n].quantity != q || (level >= 0 && i2m::level_key(level) != i2m::level_key(fields_[n].level))) continue;
    fields_.erase(fields_.begin() + static_cast<ptrdiff_t>(n));
    values_.erase(values_.begin() + static_cast<ptrdiff_t>(n));
  }
  return *this;
}

i2m::OpenedSource FakeSourceBuilder::build() const {
  i2m::SourceInventory inventory;
  inventory.path = path_;
  inventory.kind = "fake";
  inventory.fallback_model_name = "FAKE";
  inventory.fields = fields_;
  for (size_t n = 0; n < inventory.fields.size(); ++n) inventory.fields[n].locator = n;
  inventory.field_count = static_cast<int64_t>(fields_.size());
  inventory.note_grid(i2m::describe_grid(grid_));
  return {std::make_unique<FakeSource>(values_), std::move(inventory)};
}

int64_t hours_from_2024(int hours) { return 1704067200 + int64_t{hours} * 3600; }

}  // namespace testing_support
