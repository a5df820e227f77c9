#include "import/record_values.h"

#include <algorithm>

#include "common/constants.h"
#include "import/model_level_step.h"
#include "thermo/humidity.h"

namespace i2m {
namespace {

int64_t count_missing(const float* values, size_t n) {
  int64_t missing = 0;
  for (size_t p = 0; p < n; ++p) missing += values[p] == input_missing_flag;
  return missing;
}

// Specific humidity from temperature and relative humidity with the
// converter's own table and formula; missing wherever an input is.
void derive_specific_humidity(const float* tp, const float* rh, float pressure_hpa, float* q, size_t n) {
  convert_humidity_level(tp, rh, pressure_hpa, q, n);
  for (size_t p = 0; p < n; ++p) {
    if (tp[p] == input_missing_flag || rh[p] == input_missing_flag) q[p] = input_missing_flag;
  }
}

// Relative humidity from temperature and specific humidity, the inverse of
// the converter's formula; missing wherever an input is.
void derive_relative_humidity(const float* tp, const float* q, float pressure_hpa, float* rh, size_t n) {
  relative_humidity_level(tp, q, pressure_hpa, rh, n);
  for (size_t p = 0; p < n; ++p) {
    if (tp[p] == input_missing_flag || q[p] == input_missing_flag) rh[p] = input_missing_flag;
  }
}

size_t grid_index(const Inventory& inv, const std::shared_ptr<const Grid>& grid) {
  return static_cast<size_t>(std::find(inv.grids.begin(), inv.grids.end(), grid) - inv.grids.begin());
}

}  // namespace

RecordBuffers make_record_buffers(const Inventory& inv, const GridChoice& grid, bool doubles) {
  size_t largest = 0;
  for (const std::shared_ptr<const Grid>& g : inv.grids) largest = std::max(largest, g->points());
  const size_t n = grid.written.points();
  RecordBuffers b;
  b.source.resize(grid.interpolated ? 0 : largest);
  b.source_double.resize(grid.interpolated || doubles ? largest : 0);
  b.mapped_a.resize(n);
  b.mapped_b.resize(n);
  b.result.resize(n);
  return b;
}

SoilMasks read_soil_masks(const Inventory& inv, const GridChoice& grid, const DataTimePlan& d) {
  SoilMasks masks;
  if (!grid.interpolated) return masks;
  const FieldInfo* written = inv.find(d.time, Quantity::land_sea_mask, Level::surface());
  if (written == nullptr) return masks;
  RecordBuffers b = make_record_buffers(inv, grid, true);
  const RecordValues values(inv, grid);
  values.read_mapped(*written, nullptr, b, masks.written);
  masks.source.resize(inv.grids.size());
  for (const FieldInfo& f : inv.fields) {
    if (f.quantity != Quantity::land_sea_mask) continue;
    std::vector<float>& mask = masks.source[grid_index(inv, f.grid)];
    // The data time's own mask on that grid, else any of that grid.
    if (!mask.empty() && f.valid_time != d.time) continue;
    mask.resize(f.grid->points());
    inv.sources[static_cast<size_t>(f.source)].reader->read(f, mask.data());
  }
  return masks;
}

int64_t RecordValues::read_mapped(const FieldInfo& f, const SoilMasks* masks, RecordBuffers& b,
                                  std::vector<float>& out) const {
  const Source& source = *inv_.sources[static_cast<size_t>(f.source)].reader;
  const HorizontalMap& map = grid_.map_of(inv_, f.grid);
  out.resize(map.target_points());
  if (map.kind() == HorizontalMap::Kind::select) {
    if (map.is_whole()) return static_cast<int64_t>(source.read(f, out.data()));
    source.read(f, b.source.data());
    map.apply(b.source.data(), out.data());
    return count_missing(out.data(), out.size());
  }
  source.read(f, b.source_double.data());
  const std::vector<float>* source_land = masks != nullptr && !masks->written.empty()
                                              ? &masks->source[grid_index(inv_, f.grid)]
                                              : nullptr;
  if (is_soil(f.quantity) && source_land != nullptr && !source_land->empty()) {
    map.apply_masked(b.source_double.data(), source_land->data(), masks->written.data(), out.data());
  } else {
    map.apply(b.source_double.data(), out.data());
  }
  return count_missing(out.data(), out.size());
}

const float* RecordValues::compute(const RecordPlan& record, const SoilMasks& masks, const ModelLevelStep* vertical,
                                   RecordBuffers& b, int64_t& missing) const {
  const size_t n = b.result.size();
  missing = 0;
  switch (record.source) {
    case RecordSource::field:
      missing = read_mapped(*record.field, &masks, b, b.result);
      break;
    case RecordSource::derived_specific_humidity:
      read_mapped(*record.temperature, nullptr, b, b.mapped_a);
      read_mapped(*record.humidity, nullptr, b, b.mapped_b);
      derive_specific_humidity(b.mapped_a.data(), b.mapped_b.data(), record.pressure_hpa, b.result.data(), n);
      break;
    case RecordSource::derived_relative_humidity:
      read_mapped(*record.temperature, nullptr, b, b.mapped_a);
      read_mapped(*record.humidity, nullptr, b, b.mapped_b);
      derive_relative_humidity(b.mapped_a.data(), b.mapped_b.data(), record.pressure_hpa, b.result.data(), n);
      break;
    case RecordSource::vertical:
      vertical->record(record, b.result.data());
      break;
    case RecordSource::none:
      std::fill(b.result.begin(), b.result.end(), input_missing_flag);
      break;
  }
  return b.result.data();
}

}  // namespace i2m
