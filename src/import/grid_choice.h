// Which grid an import writes, and how the fields of each source grid reach
// it: the source's own regular grid (or the part of it inside --area),
// values untouched; or, with --grid, a regular latitude-longitude grid of
// the user's increments, every source grid interpolated onto it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/parallel.h"
#include "import/inventory.h"
#include "regrid/horizontal_map.h"

namespace i2m {

// --grid DLON[/DLAT], in thousandths of a degree.
struct GridIncrements {
  int32_t dlon = 0, dlat = 0;
};

// Reads "DLON[/DLAT]" in degrees; nullopt unless each is a whole number of
// thousandths of a degree, greater than 0 and at most 90.
std::optional<GridIncrements> parse_grid_increments(const std::string& text);

struct GridChoice {
  LatLonGrid written;
  // With --grid: the fields are interpolated (bilinear) onto `written`.
  bool interpolated = false;
  // One map per grid of the inventory, in its order. Select maps are made
  // by choose_grid; bilinear ones, whose weights take time to compute, by
  // build_maps (null until then).
  std::vector<std::shared_ptr<const HorizontalMap>> maps;

  // The map of a grid of the inventory.
  const HorizontalMap& map_of(const Inventory& inv, const std::shared_ptr<const Grid>& grid) const;
};

// Without `increments`: every field must lie on one regular
// latitude-longitude grid, written whole or cut to `area`; a field on
// another grid ends the run naming both, a field on a Gaussian or reduced
// grid ends it suggesting --grid. With them: the points at whole multiples
// of the increments from the equator and the Greenwich meridian inside
// `area`, or inside what every source covers (the whole earth when every
// source goes round it); an area beyond a regional source, or fewer than
// 2 x 2 points, ends the run. Exit status 2 in every case.
GridChoice choose_grid(const Inventory& inv, const std::optional<Area>& area,
                       const std::optional<GridIncrements>& increments);

// Computes the bilinear weights of every map choose_grid left to do, each
// once, spreading the rows written over the pool.
void build_maps(const Inventory& inv, GridChoice& choice, WorkerPool& pool);

}  // namespace i2m
