#include "import/grid_choice.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/failure.h"
#include "common/number_text.h"
#include "import/levels.h"

namespace i2m {
namespace {

// The part of the earth a grid's points cover: latitudes [south, north],
// longitudes the arc [west, west + span] unless it goes round.
struct Coverage {
  double south = 0, north = 0;
  bool round = false;
  double west = 0, span = 0;
};

// Narrows the arc [west, west + span] to its part inside [w, w + s]; false
// when nothing is left.
bool narrow_arc(double& west, double& span, double w, double s) {
  double d = positive_remainder(w - west, 360.0);
  if (d > span + kEdgeTolerance) d -= 360.0;  // the other arc starts west of this one
  const double lo = std::max(0.0, d), hi = std::min(span, d + s);
  if (hi < lo - kEdgeTolerance) return false;
  west += lo;
  span = std::max(0.0, hi - lo);
  return true;
}

Coverage coverage_of(const Grid& g) {
  const std::vector<GridRow> rows = rows_of(g);
  Coverage c;
  c.south = rows.front().lat;
  c.north = rows.back().lat;
  c.round = g.is_global_in_longitude();
  if (c.round) return c;
  bool first = true;
  for (const GridRow& r : rows) {
    const double span = (r.points - 1) * r.dlon;
    if (std::fabs(r.points * r.dlon - 360.0) <= 0.0005) continue;  // this row goes round
    if (first) {
      c.west = r.west;
      c.span = span;
      first = false;
    } else if (!narrow_arc(c.west, c.span, r.west, span)) {
      c.span = -1;  // no longitude that every row covers
      return c;
    }
  }
  return c;
}

// The first place of a field on `grid`, for diagnostics.
const FieldInfo& first_field_on(const Inventory& inv, const std::shared_ptr<const Grid>& grid) {
  return *std::find_if(inv.fields.begin(), inv.fields.end(), [&](const FieldInfo& f) { return f.grid == grid; });
}

std::string source_of(const Inventory& inv, const std::shared_ptr<const Grid>& grid) {
  return inv.sources[static_cast<size_t>(first_field_on(inv, grid).source)].inventory.path;
}

// An increment to suggest for a grid of about `spacing` degrees: the
// nearest of the usual ones.
std::string suggested_increment(double spacing) {
  static const double kUsual[] = {0.01, 0.025, 0.05, 0.1, 0.125, 0.25, 0.5, 0.75, 1, 1.25, 1.5, 2, 2.5, 5};
  double best = kUsual[0];
  for (double d : kUsual) {
    if (std::fabs(std::log(d / spacing)) < std::fabs(std::log(best / spacing))) best = d;
  }
  return format_number(best);
}

double row_spacing(const Grid& g) {
  return (g.rows.back().lat - g.rows.front().lat) / static_cast<double>(g.rows.size() - 1);
}

GridChoice choose_source_grid(const Inventory& inv, const std::optional<Area>& area) {
  for (const std::shared_ptr<const Grid>& g : inv.grids) {
    if (g->kind == GridKind::regular_ll) continue;
    fail_file(source_of(inv, g), "fields on " + name_grid(*g) + ": give the grid to write with --grid, for instance --grid " +
                                     suggested_increment(row_spacing(*g)));
  }
  const std::shared_ptr<const Grid>& grid = inv.grids.front();
  if (inv.grids.size() > 1) {
    const FieldInfo& first = first_field_on(inv, grid);
    const FieldInfo& other = first_field_on(inv, inv.grids[1]);
    fail_file(other.place, "its grid (" + describe_grid(*other.grid) + ") differs from the grid of " + first.place + " (" +
                               describe_grid(*grid) + "); give the grid to write with --grid to take both");
  }
  const LatLonGrid& source = grid->regular;
  GridChoice choice;
  choice.maps.push_back(std::make_shared<const HorizontalMap>(area ? HorizontalMap::select(source, *area)
                                                                   : HorizontalMap::whole(source)));
  choice.written = choice.maps.front()->target();
  return choice;
}

// Whole multiples k of `step` thousandths of a degree with lo <= k step <= hi.
std::pair<int64_t, int64_t> multiples_within(double lo, double hi, int32_t step) {
  const double d = step / 1000.0;
  return {static_cast<int64_t>(std::ceil((lo - kEdgeTolerance) / d)),
          static_cast<int64_t>(std::floor((hi + kEdgeTolerance) / d))};
}

// The written grid of the increments inside latitudes [south, north] and
// the longitude arc from `west` over `span` (round the circle when `round`).
LatLonGrid grid_in_box(double south, double north, double west, double span, bool round, const GridIncrements& inc) {
  LatLonGrid g;
  g.dlat = inc.dlat / 1000.0;
  g.dlon = inc.dlon / 1000.0;
  const auto [k0, k1] = multiples_within(std::max(south, -90.0), std::min(north, 90.0), inc.dlat);
  g.nj = static_cast<int32_t>(std::max<int64_t>(0, k1 - k0 + 1));
  g.south = static_cast<double>(k0) * inc.dlat / 1000.0;
  const int64_t turn = (360000 + inc.dlon - 1) / inc.dlon;  // points below 360 degrees
  if (round) {
    const auto [m0, m1] = multiples_within(west, west + 360.0, inc.dlon);
    (void)m1;
    g.west = static_cast<double>(m0) * inc.dlon / 1000.0;
    g.ni = static_cast<int32_t>(turn);
  } else {
    const auto [m0, m1] = multiples_within(west, west + span, inc.dlon);
    g.west = static_cast<double>(m0) * inc.dlon / 1000.0;
    g.ni = static_cast<int32_t>(std::clamp<int64_t>(m1 - m0 + 1, 0, turn));
  }
  return g;
}

std::string describe_box(const LatLonGrid& g) {
  return format_number(g.north()) + "/" + format_number(western_longitude(g.west)) + "/" + format_number(g.south) + "/" +
         format_number(western_longitude(g.west) + (g.ni - 1) * g.dlon);
}

// Every written point must lie within what each source grid covers.
void check_covered(const Inventory& inv, const LatLonGrid& written, const std::optional<Area>& area) {
  for (const std::shared_ptr<const Grid>& g : inv.grids) {
    const Coverage c = coverage_of(*g);
    if (c.round) continue;  // round the earth, and its caps go to the poles
    const bool lat_inside = written.south >= c.south - kEdgeTolerance && written.north() <= c.north + kEdgeTolerance;
    double west = written.west, span = (written.ni - 1) * written.dlon;
    const bool lon_inside = c.span >= 0 && narrow_arc(west, span, c.west, c.span) &&
                            std::fabs(span - (written.ni - 1) * written.dlon) <= kEdgeTolerance;
    if (lat_inside && lon_inside) continue;
    fail_file(source_of(inv, g), std::string(area ? "--area" : "the grid written") + " (" + describe_box(written) +
                                     ") reaches beyond its points (" + describe_grid(*g) + ")");
  }
}

GridChoice choose_interpolated_grid(const Inventory& inv, const std::optional<Area>& area, const GridIncrements& inc) {
  GridChoice choice;
  choice.interpolated = true;
  if (area) {
    double span = area->east >= area->west ? area->east - area->west : area->east - area->west + 360.0;
    const bool round = span >= 360.0 - kEdgeTolerance;
    choice.written = grid_in_box(area->south, area->north, area->west, std::min(span, 360.0), round, inc);
  } else {
    Coverage all{-90, 90, true, 0, 0};
    for (const std::shared_ptr<const Grid>& g : inv.grids) {
      const Coverage c = coverage_of(*g);
      if (c.round) continue;
      all.south = all.round ? c.south : std::max(all.south, c.south);
      all.north = all.round ? c.north : std::min(all.north, c.north);
      if (all.round) {
        all.west = c.west;
        all.span = c.span;
      } else if (c.span < 0 || !narrow_arc(all.west, all.span, c.west, c.span)) {
        all.span = -1;
      }
      all.round = false;
      if (all.span < 0) break;
    }
    if (all.span < 0 || all.south > all.north) fail_file(source_names(inv), "the sources cover no common area");
    choice.written = all.round ? grid_in_box(-90, 90, 0, 360, true, inc)
                               : grid_in_box(all.south, all.north, all.west, all.span, false, inc);
  }
  if (choice.written.ni < 2 || choice.written.nj < 2) {
    fail_file(area ? "--area" : source_names(inv), "holds " + std::to_string(std::max(choice.written.ni, 0)) + " x " +
                                                       std::to_string(std::max(choice.written.nj, 0)) +
                                                       " points of the grid asked for; at least 2 x 2 are needed");
  }
  check_covered(inv, choice.written, area);
  choice.maps.resize(inv.grids.size());
  return choice;
}

}  // namespace

std::optional<GridIncrements> parse_grid_increments(const std::string& text) {
  const size_t slash = text.find('/');
  auto thousandths_of = [](const std::string& t) -> std::optional<int32_t> {
    if (t.empty()) return std::nullopt;
    char* end = nullptr;
    const double degrees = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !(degrees > 0) || degrees > 90) return std::nullopt;
    const double milli = degrees * 1000.0;
    if (std::fabs(milli - std::round(milli)) > 1e-6) return std::nullopt;
    return static_cast<int32_t>(std::lround(milli));
  };
  const std::optional<int32_t> dlon = thousandths_of(text.substr(0, slash));
  const std::optional<int32_t> dlat = slash == std::string::npos ? dlon : thousandths_of(text.substr(slash + 1));
  if (!dlon || !dlat) return std::nullopt;
  return GridIncrements{*dlon, *dlat};
}

const HorizontalMap& GridChoice::map_of(const Inventory& inv, const std::shared_ptr<const Grid>& grid) const {
  const auto at = std::find(inv.grids.begin(), inv.grids.end(), grid);
  return *maps[static_cast<size_t>(at - inv.grids.begin())];
}

GridChoice choose_grid(const Inventory& inv, const std::optional<Area>& area,
                       const std::optional<GridIncrements>& increments) {
  return increments ? choose_interpolated_grid(inv, area, *increments) : choose_source_grid(inv, area);
}

void build_maps(const Inventory& inv, GridChoice& choice, WorkerPool& pool) {
  for (size_t g = 0; g < inv.grids.size(); ++g) {
    if (choice.maps[g] == nullptr) {
      choice.maps[g] = std::make_shared<const HorizontalMap>(HorizontalMap::bilinear(*inv.grids[g], choice.written, &pool));
    }
  }
}

}  // namespace i2m
