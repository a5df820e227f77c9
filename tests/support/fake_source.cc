#include "support/fake_source.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <chrono>
#include <limits>
#include <thread>

#include "common/constants.h"
#include "import/library_guard.h"

namespace testing_support {
namespace {

class FakeSource : public i2m::Source {
 public:
  FakeSource(std::vector<std::vector<float>> values, std::vector<bool> hangs)
      : values_(std::move(values)), hangs_(std::move(hangs)) {}
  size_t read(const i2m::FieldInfo& field, float* out) const override {
    hang_if_asked(field);
    const std::vector<float>& v = values_[field.locator];
    std::copy(v.begin(), v.end(), out);
    return static_cast<size_t>(std::count(v.begin(), v.end(), i2m::input_missing_flag));
  }
  size_t read(const i2m::FieldInfo& field, double* out) const override {
    hang_if_asked(field);
    size_t missing = 0;
    for (float x : values_[field.locator]) {
      const bool absent = x == i2m::input_missing_flag;
      *out++ = absent ? std::numeric_limits<double>::quiet_NaN() : x;
      missing += absent;
    }
    return missing;
  }

 private:
  // Every read names its field as the library's work in hand and takes a
  // moment, as the real sources do, so that every worker of an import
  // reads fields and takes a watchdog slot.
  void hang_if_asked(const i2m::FieldInfo& field) const {
    const i2m::LibraryAtWork in_hand(field.place);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    while (hangs_[field.locator]) std::this_thread::sleep_for(std::chrono::seconds(1));
  }

  std::vector<std::vector<float>> values_;
  std::vector<bool> hangs_;
};

}  // namespace

FakeSourceBuilder::FakeSourceBuilder(std::string path, int index, i2m::LatLonGrid grid)
    : path_(std::move(path)), index_(index), grid_(grid), shared_grid_(std::make_shared<const i2m::Grid>(i2m::regular_grid(grid))) {}

namespace {

i2m::Level level_of(i2m::Quantity q, double level) {
  if (i2m::is_upper_air(q)) return i2m::Level::isobaric(level);
  if (i2m::is_soil(q)) return i2m::Level::soil(level, level + 0.1);
  return i2m::Level::surface();
}

}  // namespace

FakeSourceBuilder& FakeSourceBuilder::add(i2m::Quantity q, double level, int64_t time, const FieldValues& values,
                                          int64_t member) {
  i2m::FieldInfo f;
  f.valid_time = time;
  f.quantity = q;
  f.level = level_of(q, level);
  f.grid = shared_grid_;
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
  hangs_.push_back(false);
  return *this;
}

FakeSourceBuilder& FakeSourceBuilder::add_data_time(int64_t time, const std::vector<double>& levels_pa,
                                                    const FieldValues& values) {
  auto shifted = [&](int kind) { return [=](int i, int j) { return values(i, j) + static_cast<float>(kind); }; };
  for (i2m::Quantity q : i2m::kUpperAirOrder) {
    for (double pa : levels_pa) add(q, pa, time, shifted(i2m::tally_row(q, 0)));
  }
  for (i2m::Quantity q : i2m::kSurfaceOrder) add(q, 0, time, shifted(i2m::tally_row(q, 1)));
  for (int layer = 1; layer <= i2m::kSoilLayers; ++layer) {
    for (i2m::Quantity q : {i2m::Quantity::soil_temperature, i2m::Quantity::soil_moisture}) {
      add(q, 0.1 * (layer - 1), time, shifted(i2m::tally_row(q, layer)));
    }
  }
  return *this;
}

FakeSourceBuilder& FakeSourceBuilder::remove(i2m::Quantity q, double level) {
  for (size_t n = fields_.size(); n-- > 0;) {
    if (fields_[n].quantity != q || (level >= 0 && i2m::thousandths(level) != i2m::thousandths(fields_[n].level.value))) {
      continue;
    }
    fields_.erase(fields_.begin() + static_cast<ptrdiff_t>(n));
    values_.erase(values_.begin() + static_cast<ptrdiff_t>(n));
    hangs_.erase(hangs_.begin() + static_cast<ptrdiff_t>(n));
  }
  return *this;
}

FakeSourceBuilder& FakeSourceBuilder::hang_on(i2m::Quantity q, double level, int64_t time) {
  for (size_t n = 0; n < fields_.size(); ++n) {
    const i2m::FieldInfo& f = fields_[n];
    if (f.quantity == q && f.valid_time == time && i2m::thousandths(level) == i2m::thousandths(f.level.value)) hangs_[n] = true;
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
  return {std::make_unique<FakeSource>(values_, hangs_), std::move(inventory), nullptr};
}

int64_t hours_from_2024(int hours) { return 1704067200 + int64_t{hours} * 3600; }

}  // namespace testing_support
