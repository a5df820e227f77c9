// The values of one record of a data time's file, on the grid written: a
// field read from its source and brought onto the grid written by its
// grid's map, a humidity derived from two such fields, or the input file's
// missing marker throughout.
#pragma once

#include <cstdint>
#include <vector>

#include "import/grid_choice.h"
#include "import/inventory.h"
#include "import/plan.h"

namespace i2m {

// One worker's storage, allocated once for the import: fields on the
// largest source grid (float and double) and on the grid written.
struct RecordBuffers {
  std::vector<float> source;
  std::vector<double> source_double;
  std::vector<float> mapped_a, mapped_b, result;
};
// `doubles`: the import reads fields in double (to interpolate them).
RecordBuffers make_record_buffers(const Inventory& inv, const GridChoice& grid, bool doubles);

// Per data time, for soil fields interpolated onto the grid written: the
// land-sea mask written, and the land-sea mask of each source grid (empty
// where the sources hold none on it).
struct SoilMasks {
  std::vector<float> written;
  std::vector<std::vector<float>> source;  // by grid of the inventory
};

// Reads the land-sea masks a data time's soil records need; empty when
// the grid is not interpolated or the data time holds no mask.
SoilMasks read_soil_masks(const Inventory& inv, const GridChoice& grid, const DataTimePlan& d);

class ModelLevelStep;

class RecordValues {
 public:
  RecordValues(const Inventory& inv, const GridChoice& grid) : inv_(inv), grid_(grid) {}

  // The values of `record` on the grid written (they live in `b` until the
  // next call with it), and in `missing` the points the source marked
  // missing among them (0 for derived records and records of no source).
  // Vertical records come from `vertical`, which has run on the data time.
  const float* compute(const RecordPlan& record, const SoilMasks& masks, const ModelLevelStep* vertical,
                       RecordBuffers& b, int64_t& missing) const;

  // One field on the grid written, into `out`; returns its missing points.
  int64_t read_mapped(const FieldInfo& f, const SoilMasks* masks, RecordBuffers& b, std::vector<float>& out) const;

 private:
  const Inventory& inv_;
  const GridChoice& grid_;
};

}  // namespace i2m
