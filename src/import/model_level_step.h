// The vertical step of a data time whose upper air comes on model levels:
// reads the surface pressure and geopotential, then the model levels from
// the ground up (the four fields of a level at once, on the pool's
// workers), each mapped onto the grid written, and interpolates every
// column to the pressure levels written (regrid/vertical.h). Memory holds
// the outputs and one model level, not the model levels read.
#pragma once

#include <array>
#include <vector>

#include "import/model_level_plan.h"
#include "import/plan.h"
#include "import/record_values.h"
#include "regrid/vertical.h"

namespace i2m {

class ModelLevelStep {
 public:
  // For the data times of `plan` on model levels, written at the plan's
  // levels on the grid written.
  ModelLevelStep(const Inventory& inv, const ImportPlan& plan);

  // Interpolates one data time. Ends the run with exit status 2 when some
  // column does not reach the highest level written (a surface pressure
  // beyond kMaxSurfacePressure).
  void run(const ModelLevelPlan& levels, WorkerPool& pool, std::vector<RecordBuffers>& buffers);

  // A vertical record of the data time run last (its grid written's
  // values): an upper-air quantity at its level (relative humidity from
  // the temperature and specific humidity as written), the surface
  // pressure (hPa) or the topography (m). Values that are NaN (a point
  // missing in a source) become input_missing_flag.
  void record(const RecordPlan& r, float* out) const;

 private:
  void read(const FieldInfo& f, RecordBuffers& b, std::vector<double>& out) const;

  const Inventory& inv_;
  const GridChoice& grid_;
  ColumnInterpolation columns_;
  std::vector<double> surface_hpa_, topography_;  // the surface records: hPa, m
  std::vector<double> ps_, zs_;                   // the same in Pa and m2 s-2
  // t, q, u, v of two model levels: the one read last, and the one below it
  std::array<std::array<std::vector<double>, 4>, 2> levels_;
};

}  // namespace i2m
