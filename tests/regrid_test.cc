// The interpolation library on plain arrays: columns from model levels to
// pressure levels, and bilinear maps between grids. Expectations come from
// the rules: a field linear in p (or in latitude and longitude) is
// reproduced exactly by linear interpolation, a point on a source point
// takes its value, and missing neighbours follow the largest weight.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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

}  // namespace
