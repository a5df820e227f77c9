#include "regrid/horizontal_map.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>

#include "common/constants.h"
#include "common/failure.h"
#include "common/number_text.h"

namespace i2m {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string describe_area(const Area& a) {
  return "--area " + format_number(a.north) + "/" + format_number(a.west) + "/" + format_number(a.south) + "/" +
         format_number(a.east);
}

// The source rows inside the box: [first, last], or first > last.
std::pair<int32_t, int32_t> rows_inside(const LatLonGrid& g, const Area& area) {
  int32_t first = -1, last = -1;
  for (int32_t j = 0; j < g.nj; ++j) {
    const double lat = g.south + j * g.dlat;
    if (lat >= area.south - kEdgeTolerance && lat <= area.north + kEdgeTolerance) {
      if (first < 0) first = j;
      last = j;
    }
  }
  return {first, last};
}

// The source columns inside the box, by their distance east of W.
std::vector<std::pair<double, int32_t>> columns_inside(const LatLonGrid& g, const Area& area) {
  const double width = area.east >= area.west ? std::min(area.east - area.west, 360.0) : area.east - area.west + 360.0;
  std::vector<std::pair<double, int32_t>> inside;
  for (int32_t i = 0; i < g.ni; ++i) {
    double from_west = positive_remainder(g.west + i * g.dlon - area.west, 360.0);
    if (from_west > 360.0 - kEdgeTolerance) from_west = 0;  // 359.9999999 is W itself
    if (from_west <= width + kEdgeTolerance) inside.emplace_back(from_west, i);
  }
  std::sort(inside.begin(), inside.end());
  // A grid that repeats its first meridian at its end holds one column twice.
  inside.erase(std::unique(inside.begin(), inside.end(),
                           [](const auto& a, const auto& b) { return std::fabs(a.first - b.first) <= kEdgeTolerance; }),
               inside.end());
  return inside;
}

// Where lon falls on a row: the two points that bracket it and the weight
// of the eastern one; nullopt off a regional row.
struct RowPosition {
  uint32_t west = 0, east = 0;
  double t = 0;
};

std::optional<RowPosition> position_on_row(const GridRow& r, bool row_global, double lon) {
  if (r.points == 1) return RowPosition{static_cast<uint32_t>(r.first), static_cast<uint32_t>(r.first), 0};
  double offset = positive_remainder(lon - r.west, 360.0);
  if (offset > 360.0 - kEdgeTolerance) offset = 0;
  const auto n = static_cast<int64_t>(r.points);
  const double span = static_cast<double>(n - 1) * r.dlon;
  if (!row_global && offset > span + kEdgeTolerance) return std::nullopt;
  auto i0 = static_cast<int64_t>(std::floor(offset / r.dlon));
  i0 = std::clamp<int64_t>(i0, 0, row_global ? n - 1 : n - 2);
  double t = (offset - static_cast<double>(i0) * r.dlon) / r.dlon;
  // A point within a millionth of a degree of a source point takes it.
  if (std::fabs(t * r.dlon) <= kEdgeTolerance) t = 0;
  if (std::fabs((1 - t) * r.dlon) <= kEdgeTolerance) t = 1;
  const int64_t i1 = (i0 + 1) % n;
  return RowPosition{static_cast<uint32_t>(r.first + static_cast<size_t>(i0)),
                     static_cast<uint32_t>(r.first + static_cast<size_t>(i1)), std::clamp(t, 0.0, 1.0)};
}

bool row_is_global(const GridRow& r) { return std::fabs(r.points * r.dlon - 360.0) <= 0.0005; }

}  // namespace

HorizontalMap HorizontalMap::whole(const LatLonGrid& source) {
  HorizontalMap m;
  m.kind_ = Kind::select;
  m.target_ = source;
  m.source_ni_ = source.ni;
  m.columns_.resize(static_cast<size_t>(source.ni));
  std::iota(m.columns_.begin(), m.columns_.end(), 0);
  m.whole_ = true;
  return m;
}

HorizontalMap HorizontalMap::select(const LatLonGrid& source, const Area& area) {
  HorizontalMap m;
  m.kind_ = Kind::select;
  m.source_ni_ = source.ni;
  const auto [first, last] = rows_inside(source, area);
  const int32_t rows = first < 0 ? 0 : last - first + 1;
  m.first_row_ = std::max(first, 0);
  const std::vector<std::pair<double, int32_t>> inside = columns_inside(source, area);
  if (rows < 2 || inside.size() < 2) {
    fail_file(describe_area(area), "keeps " + std::to_string(inside.size()) + " x " + std::to_string(rows) +
                                       " points of the grid (" + describe_grid(source) + "); at least 2 x 2 are needed");
  }
  for (size_t c = 1; c < inside.size(); ++c) {
    if (std::fabs(inside[c].first - inside[c - 1].first - source.dlon) > 1e-4) {
      fail_file("--area", "the box takes columns that are not equally spaced from this grid (" + describe_grid(source) + ")");
    }
  }
  for (const auto& c : inside) m.columns_.push_back(c.second);
  m.target_.ni = static_cast<int32_t>(inside.size());
  m.target_.nj = rows;
  m.target_.south = source.south + m.first_row_ * source.dlat;
  m.target_.west = area.west + inside.front().first;
  m.target_.dlat = source.dlat;
  m.target_.dlon = source.dlon;
  return m;
}

HorizontalMap HorizontalMap::bilinear(const Grid& source, const LatLonGrid& target, WorkerPool* pool) {
  HorizontalMap m;
  m.kind_ = Kind::bilinear;
  m.target_ = target;
  if (source.points() > std::numeric_limits<uint32_t>::max()) throw std::length_error("source grid too large");
  const std::vector<GridRow> rows = rows_of(source);
  const bool global = source.is_global_in_longitude();
  m.stencils_.resize(target.points());
  auto row_of_stencils = [&](size_t j, int) {
    const double lat = target.south + static_cast<double>(j) * target.dlat;
    for (int32_t i = 0; i < target.ni; ++i) {
      const double lon = target.west + i * target.dlon;
      const std::optional<Stencil> s = bilinear_stencil(rows, global, lon, lat);
      if (!s) {
        throw std::invalid_argument("point " + format_number(lat) + " N " + format_number(lon) +
                                    " E lies outside the source grid");
      }
      m.stencils_[j * static_cast<size_t>(target.ni) + static_cast<size_t>(i)] = *s;
    }
  };
  const auto nj = static_cast<size_t>(target.nj);
  if (pool != nullptr) {
    pool->run(nj, row_of_stencils);
  } else {
    for (size_t j = 0; j < nj; ++j) row_of_stencils(j, 0);
  }
  return m;
}

std::optional<Stencil> bilinear_stencil(const std::vector<GridRow>& rows, bool global, double lon, double lat) {
  if (rows.empty()) return std::nullopt;
  // The southern and northern rows and the weight of the northern one.
  size_t south = 0, north = 0;
  double u = 0;
  if (lat <= rows.front().lat + kEdgeTolerance) {
    if (lat < rows.front().lat - kEdgeTolerance && !global) return std::nullopt;
    south = north = 0;  // on the row, or in the cap poleward of it
  } else if (lat >= rows.back().lat - kEdgeTolerance) {
    if (lat > rows.back().lat + kEdgeTolerance && !global) return std::nullopt;
    south = north = rows.size() - 1;
  } else {
    const auto above = std::upper_bound(rows.begin(), rows.end(), lat,
                                        [](double x, const GridRow& r) { return x < r.lat; });
    north = static_cast<size_t>(above - rows.begin());
    south = north - 1;
    if (std::fabs(lat - rows[south].lat) <= kEdgeTolerance) {
      north = south;
    } else if (std::fabs(rows[north].lat - lat) <= kEdgeTolerance) {
      south = north;
    } else {
      u = (lat - rows[south].lat) / (rows[north].lat - rows[south].lat);
    }
  }
  const std::optional<RowPosition> s = position_on_row(rows[south], row_is_global(rows[south]), lon);
  const std::optional<RowPosition> n = position_on_row(rows[north], row_is_global(rows[north]), lon);
  if (!s || !n) return std::nullopt;
  Stencil st;
  st.index = {s->west, s->east, n->west, n->east};
  st.weight = {(1 - u) * (1 - s->t), (1 - u) * s->t, u * (1 - n->t), u * n->t};
  return st;
}

double apply_stencil(const Stencil& s, const double* source, const std::array<bool, 4>& counts) {
  int largest = -1;
  for (int k = 0; k < 4; ++k) {
    if (counts[static_cast<size_t>(k)] && s.weight[k] > 0 && (largest < 0 || s.weight[k] > s.weight[largest])) largest = k;
  }
  if (largest < 0 || std::isnan(source[s.index[largest]])) return kNaN;
  double sum = 0, weights = 0;
  bool dropped = false;
  for (size_t k = 0; k < 4; ++k) {
    if (!counts[k] || s.weight[k] == 0) {
      dropped = dropped || s.weight[k] != 0;
      continue;
    }
    const double x = source[s.index[k]];
    if (std::isnan(x)) {
      dropped = true;
      continue;
    }
    sum += s.weight[k] * x;
    weights += s.weight[k];
  }
  // Only a stencil that lost a neighbour is renormalised: the full one's
  // weights add up to one by construction.
  return dropped ? sum / weights : sum;
}

void HorizontalMap::apply(const float* source, float* out) const {
  if (kind_ != Kind::select) throw std::logic_error("a bilinear map takes double values");
  if (whole_) {
    std::memcpy(out, source, target_.points() * sizeof(float));
    return;
  }
  const auto im = static_cast<size_t>(target_.ni);
  for (int32_t j = 0; j < target_.nj; ++j) {
    const float* row = source + static_cast<size_t>(first_row_ + j) * static_cast<size_t>(source_ni_);
    float* to = out + static_cast<size_t>(j) * im;
    // Runs of consecutive columns (all of them, or two where the box wraps)
    // go across in one copy each.
    size_t c = 0;
    while (c < im) {
      size_t run = 1;
      while (c + run < im && columns_[c + run] == columns_[c] + static_cast<int32_t>(run)) ++run;
      std::memcpy(to + c, row + columns_[c], run * sizeof(float));
      c += run;
    }
  }
}

namespace {

// The weighted sum of the four neighbours: the value of the stencil when no
// neighbour is missing. A missing (NaN) or infinite neighbour, even of
// weight 0, makes the sum NaN, and a zero sum may have lost the sign of a
// negative zero: both take the rule's own way.
inline double weighted_sum_or_rule(const Stencil& s, const double* source) {
  const double sum = s.weight[0] * source[s.index[0]] + s.weight[1] * source[s.index[1]] +
                     s.weight[2] * source[s.index[2]] + s.weight[3] * source[s.index[3]];
  return sum == sum && sum != 0 ? sum : apply_stencil(s, source);
}

}  // namespace

void HorizontalMap::apply(const double* source, double* out) const {
  if (kind_ == Kind::bilinear) {
    for (size_t p = 0; p < stencils_.size(); ++p) out[p] = weighted_sum_or_rule(stencils_[p], source);
    return;
  }
  const auto im = static_cast<size_t>(target_.ni);
  for (size_t j = 0; j < static_cast<size_t>(target_.nj); ++j) {
    const double* row = source + (static_cast<size_t>(first_row_) + j) * static_cast<size_t>(source_ni_);
    for (size_t c = 0; c < im; ++c) out[j * im + c] = row[columns_[c]];
  }
}

void HorizontalMap::apply(const double* source, float* out) const {
  const size_t n = target_.points();
  auto round = [](double x) { return std::isnan(x) ? input_missing_flag : static_cast<float>(x); };
  if (kind_ == Kind::bilinear) {
    for (size_t p = 0; p < n; ++p) out[p] = round(weighted_sum_or_rule(stencils_[p], source));
    return;
  }
  const auto im = static_cast<size_t>(target_.ni);
  for (size_t j = 0; j < static_cast<size_t>(target_.nj); ++j) {
    const double* row = source + (static_cast<size_t>(first_row_) + j) * static_cast<size_t>(source_ni_);
    for (size_t c = 0; c < im; ++c) out[j * im + c] = round(row[columns_[c]]);
  }
}

void HorizontalMap::apply_masked(const double* source, const float* source_land, const float* target_land,
                                 float* out) const {
  if (kind_ != Kind::bilinear) throw std::logic_error("only a bilinear map weighs land points");
  auto is_land = [](float mask) { return mask >= 0.5f && mask != input_missing_flag; };
  for (size_t p = 0; p < stencils_.size(); ++p) {
    const Stencil& s = stencils_[p];
    std::array<bool, 4> counts{true, true, true, true};
    if (is_land(target_land[p])) {
      bool any = false;
      for (size_t k = 0; k < 4; ++k) {
        counts[k] = s.weight[k] > 0 && is_land(source_land[s.index[k]]);
        any = any || counts[k];
      }
      if (!any) counts = {true, true, true, true};
    }
    const double x = apply_stencil(s, source, counts);
    out[p] = std::isnan(x) ? input_missing_flag : static_cast<float>(x);
  }
}

}  // namespace i2m
