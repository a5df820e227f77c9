// From a field on a source grid to the grid written: a map built once for a
// pair of grids and applied to every field on that source grid, in every
// data time. Two kinds:
//   select    the points of a regular latitude-longitude source inside a
//             box (or all of them), values untouched;
//   bilinear  any grid of rows to a regular latitude-longitude grid, four
//             neighbours and four weights per point written.
// The grid written is regular: rows south to north, columns west to east.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/parallel.h"
#include "regrid/grid.h"

namespace i2m {

// A box in degrees, in the Data Store's order N/W/S/E.
struct Area {
  double north = 0, west = 0, south = 0, east = 0;
};

// Points on a box's edges are inside: a grid latitude of 29.999999 stands
// for 30.
inline constexpr double kEdgeTolerance = 1e-6;

// The four neighbours of a point written and their weights, in the order:
// southern row west, southern row east, northern row west, northern row
// east. Unused neighbours have weight 0 (and some valid index).
struct Stencil {
  std::array<uint32_t, 4> index{};
  std::array<double, 4> weight{};
};

class HorizontalMap {
 public:
  enum class Kind { select, bilinear };

  // The whole regular grid in its own order: no copy at all.
  static HorizontalMap whole(const LatLonGrid& source);
  // The points of a regular source inside `area`, edges included.
  // Longitudes are taken round the circle: the first written column is the
  // first inside the box counting eastwards from W, its longitude written
  // in [W, W + 360). Ends the run with exit status 2 when fewer than 2 rows
  // or 2 columns fall inside, or when the box takes columns that are not
  // equally spaced.
  static HorizontalMap select(const LatLonGrid& source, const Area& area);
  // Bilinear weights from the rows of `source` to every point of `target`
  // (see bilinear_stencil()), computed on the pool's workers when one is
  // given. Every point of `target` must lie within what `source` covers.
  static HorizontalMap bilinear(const Grid& source, const LatLonGrid& target, WorkerPool* pool = nullptr);

  Kind kind() const { return kind_; }
  const LatLonGrid& target() const { return target_; }
  size_t target_points() const { return target_.points(); }
  // True when the map hands the source's values over as they are.
  bool is_whole() const { return whole_; }

  // Select maps: copies the chosen points. Values are not looked at.
  void apply(const float* source, float* out) const;
  // Either kind, in double: missing points are NaN (the missing-value rule
  // of apply_bilinear).
  void apply(const double* source, double* out) const;
  // Either kind, rounded once to float; missing points become
  // input_missing_flag.
  void apply(const double* source, float* out) const;
  // Bilinear only, for soil fields: at points where `target_land` (the
  // grid written) is at least 0.5, only neighbours where `source_land` (on
  // the source grid) is at least 0.5 count, all four where none is; then
  // the missing-value rule. Missing land-sea mask values count as sea.
  void apply_masked(const double* source, const float* source_land, const float* target_land, float* out) const;

 private:
  Kind kind_ = Kind::select;
  LatLonGrid target_;
  bool whole_ = false;
  // select: the source row of the first written row, and the source column
  // of each written column
  int32_t first_row_ = 0;
  int32_t source_ni_ = 0;
  std::vector<int32_t> columns_;
  // bilinear: one stencil per point written
  std::vector<Stencil> stencils_;
};

// The value of one point from its stencil: where the neighbour of the
// largest weight is missing (NaN), the point is missing; otherwise the
// missing neighbours' weights are dropped and the others renormalised.
// Neighbours whose `counts` flag is false are left out first.
double apply_stencil(const Stencil& s, const double* source, const std::array<bool, 4>& counts = {true, true, true, true});

// The stencil of point (lon, lat) on a grid of rows (south to north). See
// the bilinear kind above: the two rows that bracket lat, on each the two
// points that bracket lon (round the circle), linear in degrees; poleward
// of the outermost row of a global grid that row's value, linear along the
// row; a point within a millionth of a degree of a source point takes that
// point alone. nullopt for a point outside the rows' coverage.
std::optional<Stencil> bilinear_stencil(const std::vector<GridRow>& rows, bool global, double lon, double lat);

}  // namespace i2m
