#include "import/model_level_step.h"

#include <cmath>

#include "common/constants.h"
#include "common/failure.h"
#include "import/data_time.h"
#include "thermo/humidity.h"

namespace i2m {
namespace {

std::vector<double> pascals(const std::vector<double>& kept) { return kept; }

ColumnQuantity column_quantity(Quantity q) {
  switch (q) {
    case Quantity::temperature: return ColumnQuantity::temperature;
    case Quantity::specific_humidity: return ColumnQuantity::specific_humidity;
    case Quantity::zonal_wind: return ColumnQuantity::zonal_wind;
    case Quantity::meridional_wind: return ColumnQuantity::meridional_wind;
    default: return ColumnQuantity::height;
  }
}

// NaN, a point a source left missing, is the input file's missing marker.
void copy_marking_missing(const float* in, size_t n, float* out) {
  for (size_t p = 0; p < n; ++p) out[p] = in[p] != in[p] ? input_missing_flag : in[p];
}

}  // namespace

ModelLevelStep::ModelLevelStep(const Inventory& inv, const ImportPlan& plan)
    : inv_(inv), grid_(plan.grid), columns_(pascals(plan.levels.kept), plan.grid.written.points()) {
  const size_t n = plan.grid.written.points();
  for (std::vector<double>* v : {&surface_hpa_, &topography_, &ps_, &zs_}) v->resize(n);
  for (auto& level : levels_) {
    for (std::vector<double>& v : level) v.resize(n);
  }
}

// One field on the grid written, in double: the source's values straight
// into `out` when the grid written is the source's whole grid.
void ModelLevelStep::read(const FieldInfo& f, RecordBuffers& b, std::vector<double>& out) const {
  const Source& source = *inv_.sources[static_cast<size_t>(f.source)].reader;
  const HorizontalMap& map = grid_.map_of(inv_, f.grid);
  if (map.is_whole()) {
    source.read(f, out.data());
    return;
  }
  source.read(f, b.source_double.data());
  map.apply(b.source_double.data(), out.data());
}

void ModelLevelStep::run(const ModelLevelPlan& levels, WorkerPool& pool, std::vector<RecordBuffers>& buffers) {
  // The surface: ps in Pa from lnsp or from sp (read in hPa), zs from the
  // topography (read in m).
  pool.run(2, [&](size_t n, int worker) {
    RecordBuffers& b = buffers[static_cast<size_t>(worker)];
    read(n == 0 ? *levels.surface_pressure : *levels.surface_geopotential, b, n == 0 ? ps_ : topography_);
  });
  for (size_t p = 0; p < ps_.size(); ++p) {
    if (levels.log_pressure) {
      ps_[p] = std::exp(ps_[p]);
      surface_hpa_[p] = ps_[p] / 100.0;
    } else {
      surface_hpa_[p] = ps_[p];  // sp, read in hPa
      ps_[p] *= 100.0;
    }
    zs_[p] = topography_[p] * kGravity;
  }
  columns_.start(levels.levels, ps_.data(), zs_.data());
  auto values_of = [](const std::array<std::vector<double>, 4>& l) {
    return ColumnInterpolation::LevelValues{l[0].data(), l[1].data(), l[2].data(), l[3].data()};
  };
  for (int k = levels.levels.nlev; k >= levels.top; --k) {
    const std::array<const FieldInfo*, 4>& fields = levels.columns[static_cast<size_t>(k - levels.top)];
    // The arrays of level k are those of level k + 2, no longer needed.
    std::array<std::vector<double>, 4>& level = levels_[static_cast<size_t>(k % 2)];
    pool.run(4, [&](size_t n, int worker) { read(*fields[n], buffers[static_cast<size_t>(worker)], level[n]); });
    columns_.add_level(k, values_of(level), values_of(levels_[static_cast<size_t>((k + 1) % 2)]), &pool);
  }
  if (const std::string problem = columns_.unreached(); !problem.empty()) {
    fail_file(levels.columns.front()[0]->place, "model levels: the output level " + problem);
  }
}

void ModelLevelStep::record(const RecordPlan& r, float* out) const {
  const size_t n = ps_.size();
  if (r.quantity == Quantity::surface_pressure || r.quantity == Quantity::topography) {
    const std::vector<double>& surface = r.quantity == Quantity::surface_pressure ? surface_hpa_ : topography_;
    for (size_t p = 0; p < n; ++p) out[p] = surface[p] != surface[p] ? input_missing_flag : static_cast<float>(surface[p]);
    return;
  }
  const auto level = static_cast<size_t>(r.output_level);
  if (r.quantity != Quantity::relative_humidity) {
    copy_marking_missing(columns_.values(column_quantity(r.quantity), level), n, out);
    return;
  }
  const float* t = columns_.values(ColumnQuantity::temperature, level);
  const float* q = columns_.values(ColumnQuantity::specific_humidity, level);
  relative_humidity_level(t, q, r.pressure_hpa, out, n);
  for (size_t p = 0; p < n; ++p) {
    if (t[p] != t[p] || q[p] != q[p] || out[p] != out[p]) out[p] = input_missing_flag;
  }
}

}  // namespace i2m
