// The interpolation library on plain arrays: columns from model levels to
// pressure levels, and bilinear maps between grids. Expectations come from
// the rules: a field linear in p (or in latitude and longitude) is
// reproduced exactly by linear interpolation, a point on a source point
// takes its value, and missing neighbours follow the largest weight.

#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <limits>
#include <optional>
#include <vector>

#include "common/constants.h"
#include "regrid/horizontal_map.h"
#include "regrid/vertical.h"

namespace {

using i2m::ColumnInterpolation;
using i2m::ColumnQuantity;

// Ten levels: pure pressure at the top, terrain-following at the ground.
i2m::HybridLevels ten_levels() {
  i2m::HybridLevels l;
  l.nlev = 10;
  for (int k = 0; k <= 10; ++k) {
    const double s = k / 10.0;
    l.b.push_back(s * s * s);
    l.a.push_back(90000.0 * s * (1 - s * s * s));
  }
  return l;
}

TEST(VerticalColumns, FieldsLinearInPressureAreReproducedBetweenTheLevels) {
  const i2m::HybridLevels levels = ten_levels();
  const std::vector<double> ps = {101000, 95000, 70000}, zs = {0, 500, 25000};
  const std::vector<double> output = {60000, 40000, 20000, 6000};  // between the top and the lowest full level everywhere
  ColumnInterpolation columns(output, ps.size());
  columns.start(levels, ps.data(), zs.data());
  // t = 200 + 0.001 p, q = 1e-7 p, u = 3 - 2e-4 p, v = 5e-5 p at every full level.
  std::vector<std::vector<double>> values(11, std::vector<double>(4 * ps.size()));
  for (int k = 10; k >= 1; --k) {
    std::vector<double>& l = values[static_cast<size_t>(k)];
    for (size_t p = 0; p < ps.size(); ++p) {
      const double pf = levels.full(k, ps[p]);
      l[p] = 200 + 0.001 * pf;
      l[3 + p] = 1e-7 * pf;
      l[6 + p] = 3 - 2e-4 * pf;
      l[9 + p] = 5e-5 * pf;
    }
    const auto of = [&](const std::vector<double>& x) {
      return ColumnInterpolation::LevelValues{x.data(), x.data() + 3, x.data() + 6, x.data() + 9};
    };
    columns.add_level(k, of(l), of(values[static_cast<size_t>(std::min(k + 1, 10))]));
  }
  EXPECT_EQ(columns.unreached(), "");
  for (size_t n = 0; n < output.size(); ++n) {
    const double p = output[n];
    for (size_t point = 0; point < ps.size(); ++point) {
      SCOPED_TRACE(p);
      EXPECT_FLOAT_EQ(columns.values(ColumnQuantity::temperature, n)[point], static_cast<float>(200 + 0.001 * p));
      EXPECT_FLOAT_EQ(columns.values(ColumnQuantity::specific_humidity, n)[point], static_cast<float>(1e-7 * p));
      EXPECT_FLOAT_EQ(columns.values(ColumnQuantity::zonal_wind, n)[point], static_cast<float>(3 - 2e-4 * p));
      EXPECT_FLOAT_EQ(columns.values(ColumnQuantity::meridional_wind, n)[point], static_cast<float>(5e-5 * p));
    }
  }
}

TEST(VerticalColumns, SaysWhichOutputLevelAColumnDidNotReach) {
  const i2m::HybridLevels levels = ten_levels();
  const std::vector<double> ps = {100000}, zs = {0}, t = {250}, q = {0}, u = {0}, v = {0};
  ColumnInterpolation columns({50000, 5000}, 1);
  columns.start(levels, ps.data(), zs.data());
  const ColumnInterpolation::LevelValues level{t.data(), q.data(), u.data(), v.data()};
  // Full level 6 lies at (51875 + 63936) / 2 = 57905.5 Pa, level 5 at
  // (40096 + 51875) / 2 = 45985.5 Pa: after level 6, 500 hPa is not reached.
  for (int k = 10; k >= 6; --k) columns.add_level(k, level, level);
  EXPECT_EQ(columns.unreached(), "500 hPa lies above model level 6 at point 1 (surface pressure 1000 hPa)");
  // For ps up to 1100 hPa full level 1 lies at most at (0 + 9101) / 2 Pa,
  // level 2 at (9101 + 18736) / 2: 50 hPa needs levels up to 1.
  EXPECT_EQ(i2m::highest_level_needed(levels, 5000, 110000), 1);
  EXPECT_EQ(i2m::highest_level_needed(levels, 10, 110000), 0) << "above the top full level";
}

// Two rows of four points round the globe: latitudes 0 and 10, longitudes
// 0, 90, 180, 270; point p of row r has index 4 r + p.
i2m::Grid two_rows() {
  return i2m::grid_of_rows(i2m::GridKind::reduced_ll, {{0, 4, 0, 90, 0}, {10, 4, 0, 90, 0}}, 0);
}

TEST(BilinearStencil, NeighboursAndWeightsByTheRule) {
  struct Case {
    const char* name;
    double lon, lat;
    std::array<uint32_t, 4> index;  // southern west, southern east, northern west, northern east
    std::array<double, 4> weight;
  };
  const Case cases[] = {
      {"between four points", 45, 5, {0, 1, 4, 5}, {0.25, 0.25, 0.25, 0.25}},
      {"across the 0/360 meridian", 315, 2, {3, 0, 7, 4}, {0.4, 0.4, 0.1, 0.1}},
      {"the same point as -45", -45, 2, {3, 0, 7, 4}, {0.4, 0.4, 0.1, 0.1}},
      {"on a source point", 90, 10, {5, 6, 5, 6}, {1, 0, 0, 0}},
      {"within a millionth of a degree of one", 90.0000005, 9.9999995, {5, 6, 5, 6}, {1, 0, 0, 0}},
      {"poleward of the northern row: its value, linear along it", 135, 40, {5, 6, 5, 6}, {0.5, 0.5, 0, 0}},
      {"poleward of the southern row", 0, -30, {0, 1, 0, 1}, {1, 0, 0, 0}},
  };
  const std::vector<i2m::GridRow> rows = i2m::rows_of(two_rows());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<i2m::Stencil> s = i2m::bilinear_stencil(rows, true, c.lon, c.lat);
    ASSERT_TRUE(s.has_value());
    for (size_t k = 0; k < 4; ++k) {
      if (c.weight[k] != 0) {
        EXPECT_EQ(s->index[k], c.index[k]) << k;
      }
      EXPECT_NEAR(s->weight[k], c.weight[k], 1e-12) << k;
    }
  }
  // A regional grid covers only its rows.
  EXPECT_FALSE(i2m::bilinear_stencil(rows, false, 0, 12).has_value());
  EXPECT_TRUE(i2m::bilinear_stencil(rows, false, 0, 10).has_value());
}

TEST(BilinearStencil, MissingNeighboursAndLandPoints) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  // The point at 315 E, 2 N: weights 0.4, 0.4 (row 0: points 3, 0), 0.1,
  // 0.1 (row 1: points 7, 4).
  i2m::LatLonGrid one;
  one.ni = one.nj = 1;
  one.south = 2;
  one.west = 315;
  one.dlat = one.dlon = 1;
  const i2m::HorizontalMap map = i2m::HorizontalMap::bilinear(two_rows(), one);
  struct Case {
    const char* name;
    std::vector<double> values;  // by source index
    float target_land;
    std::vector<float> source_land;
    float expected;
  };
  const std::vector<double> all = {10, 0, 0, 20, 30, 0, 0, 40};
  const std::vector<float> sea(8, 0.0f), land(8, 1.0f), land_north = {0, 0, 0, 0, 1, 0, 0, 1};
  const Case cases[] = {
      {"no neighbour missing", all, 0, sea, static_cast<float>(0.4 * 20 + 0.4 * 10 + 0.1 * 40 + 0.1 * 30)},
      {"the first of the largest weights missing", {10, 0, 0, kNaN, 30, 0, 0, 40}, 0, sea, i2m::input_missing_flag},
      {"the second of the largest missing: renormalised", {kNaN, 0, 0, 20, 30, 0, 0, 40}, 0, sea,
       static_cast<float>((0.4 * 20 + 0.1 * 40 + 0.1 * 30) / 0.6)},
      {"a small weight missing: renormalised", {10, 0, 0, 20, 30, 0, 0, kNaN}, 0, sea,
       static_cast<float>((0.4 * 20 + 0.4 * 10 + 0.1 * 30) / 0.9)},
      {"a land point: only the land neighbours count", all, 1, land_north, static_cast<float>((0.1 * 40 + 0.1 * 30) / 0.2)},
      {"a sea point: all four count", all, 0.4f, land_north, static_cast<float>(0.4 * 20 + 0.4 * 10 + 0.1 * 40 + 0.1 * 30)},
      {"a land point with no land neighbour: all four count", all, 1, sea,
       static_cast<float>(0.4 * 20 + 0.4 * 10 + 0.1 * 40 + 0.1 * 30)},
      {"land neighbours, the largest of them missing", {10, 0, 0, 20, 30, 0, 0, kNaN}, 1, land_north,
       i2m::input_missing_flag},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    float got = 0;
    map.apply_masked(c.values.data(), c.source_land.data(), &c.target_land, &got);
    EXPECT_FLOAT_EQ(got, c.expected);
    if (c.source_land == sea && c.target_land == 0) {
      // Without masks the same rule for missing neighbours.
      float plain = 0;
      map.apply(c.values.data(), &plain);
      EXPECT_FLOAT_EQ(plain, c.expected);
    }
  }
}

}  // namespace
