// The importer's rules run in-process on fake sources, whose every value
// the test knows: which part of the grid an area keeps and the grid numbers
// that describe it, which levels an import keeps, the refusal of a data
// time without its surface fields, the choice of one ensemble member, and
// the humidities the writer derives.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "common/failure.h"
#include "common/parallel.h"
#include "import/library_guard.h"
#include "import/area.h"
#include "import/inventory.h"
#include "import/levels.h"
#include "import/plan.h"
#include "import/writer.h"
#include "support/data_time.h"
#include "support/expected.h"
#include "support/fake_source.h"

namespace {

using namespace testing_support;
using i2m::Quantity;

// 8 x 5 points, 45 degrees apart, latitudes -90 to 90.
i2m::LatLonGrid grid_from(double west) {
  i2m::LatLonGrid g;
  g.ni = 8;
  g.nj = 5;
  g.south = -90;
  g.west = west;
  g.dlat = g.dlon = 45;
  return g;
}

// The message of the RunFailure that `f` ends with, or "" when it returns.
std::string failure_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const i2m::RunFailure& failure) {
    return failure.message;
  }
  return "";
}

std::string grid_numbers(const i2m::RunControl& rc) {
  return std::to_string(rc.im) + " " + std::to_string(rc.jm) + " la1 " + std::to_string(rc.la1) + " lo1 " +
         std::to_string(rc.lo1) + " la2 " + std::to_string(rc.la2) + " lo2 " + std::to_string(rc.lo2);
}

TEST(ImportArea, KeepsTheBoxWrappingRoundTheGlobeAndWritesLo1FromMinus180) {
  struct Case {
    const char* name;
    double grid_west;
    const char* area;                  // N/W/S/E, or "" for the whole grid
    std::vector<int32_t> columns;      // source columns kept, west to east
    int32_t first_row, rows;           // rows kept, from the south
    const char* numbers;
  };
  // Columns lie at west + 45 i degrees; the box's edges are inside it, and
  // lo1 is the first kept column's longitude taken into [-180, 180).
  const Case cases[] = {
      {"whole grid from 0", 0, "", {0, 1, 2, 3, 4, 5, 6, 7}, 0, 5, "8 5 la1 -90000 lo1 0 la2 90000 lo2 315000"},
      {"whole grid from 180 E", 180, "", {0, 1, 2, 3, 4, 5, 6, 7}, 0, 5,
       "8 5 la1 -90000 lo1 -180000 la2 90000 lo2 135000"},
      {"across the 0 meridian: 270 to 90 E", 0, "45/-90/-45/90", {6, 7, 0, 1, 2}, 1, 3,
       "5 3 la1 -45000 lo1 -90000 la2 45000 lo2 90000"},
      {"the same box with its west edge east of 180", 0, "45/270/-45/90", {6, 7, 0, 1, 2}, 1, 3,
       "5 3 la1 -45000 lo1 -90000 la2 45000 lo2 90000"},
      {"across the 180 meridian: 135 to 225 E", 0, "90/135/-90/-135", {3, 4, 5}, 0, 5,
       "3 5 la1 -90000 lo1 135000 la2 90000 lo2 225000"},
      {"a box within the grid's own longitudes", 0, "0/45/-45/135", {1, 2, 3}, 1, 2,
       "3 2 la1 -45000 lo1 45000 la2 0 lo2 135000"},
      {"a grid from 180 E cut across 0", 180, "45/-90/-45/90", {2, 3, 4, 5, 6}, 1, 3,
       "5 3 la1 -45000 lo1 -90000 la2 45000 lo2 90000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const i2m::LatLonGrid grid = grid_from(c.grid_west);
    const i2m::HorizontalMap w =
        *c.area == '\0' ? i2m::HorizontalMap::whole(grid) : i2m::HorizontalMap::select(grid, *i2m::parse_area(c.area));
    EXPECT_EQ(w.target().ni, static_cast<int32_t>(c.columns.size()));
    EXPECT_EQ(w.target().nj, c.rows);
    i2m::RunControl rc;
    i2m::set_grid_numbers(w.target(), rc);
    EXPECT_EQ(grid_numbers(rc), c.numbers);
    // The values of the kept points, rows south first, columns west to east.
    std::vector<float> field(40), cut(w.target_points());
    for (int p = 0; p < 40; ++p) field[static_cast<size_t>(p)] = static_cast<float>(p % 8 + 100 * (p / 8));
    w.apply(field.data(), cut.data());
    for (size_t k = 0; k < cut.size(); ++k) {
      const auto column = static_cast<size_t>(c.columns[k % c.columns.size()]);
      const auto row = static_cast<size_t>(c.first_row) + k / c.columns.size();
      EXPECT_EQ(cut[k], static_cast<float>(column + 100 * row)) << k;
    }
  }
}

const std::vector<double> kLevels = {100000, 85000, 50000};

float smooth(int i, int j) { return static_cast<float>(250 + i + 3 * j); }

i2m::Inventory inventory_of(FakeSourceBuilder& builder, std::optional<int64_t> member = std::nullopt) {
  std::vector<i2m::OpenedSource> sources;
  sources.push_back(builder.build());
  return i2m::take_inventory(std::move(sources), member);
}

TEST(ImportLevels, KeepsTheLevelsWhereEveryDataTimeHoldsWhatTheConverterNeeds) {
  struct Case {
    const char* name;
    std::function<void(FakeSourceBuilder&)> remove;
    std::vector<double> requested;  // --levels, Pa
    std::vector<double> kept;
    std::vector<std::string> dropped;  // "hPa: reason"
  };
  const Case cases[] = {
      {"everything there", [](FakeSourceBuilder&) {}, {}, kLevels, {}},
      {"no relative humidity at 850: derived from specific humidity",
       [](FakeSourceBuilder& b) { b.remove(Quantity::relative_humidity, 85000); }, {}, kLevels, {}},
      {"no humidity at all at 850",
       [](FakeSourceBuilder& b) { b.remove(Quantity::relative_humidity, 85000).remove(Quantity::specific_humidity, 85000); },
       {}, {100000, 50000}, {"850: no relative humidity at 2024010100 and at 1 more data time"}},
      {"no height and no wind at 1000",
       [](FakeSourceBuilder& b) { b.remove(Quantity::height, 100000).remove(Quantity::zonal_wind, 100000); }, {},
       {85000, 50000}, {"1000: no geopotential height, no zonal wind at 2024010100 and at 1 more data time"}},
      {"levels listed: kept whatever is there", [](FakeSourceBuilder&) {}, {50000, 70000}, {70000, 50000},
       {"1000: not listed in --levels", "850: not listed in --levels"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSourceBuilder builder("a.grib", 0, grid_from(0));
    builder.add_data_time(hours_from_2024(0), kLevels, smooth).add_data_time(hours_from_2024(6), kLevels, smooth);
    c.remove(builder);
    const i2m::Inventory inv = inventory_of(builder);
    const i2m::LevelChoice choice = i2m::choose_levels(inv, c.requested);
    EXPECT_EQ(choice.kept, c.kept);
    std::vector<std::string> dropped;
    for (const i2m::DroppedLevel& d : choice.dropped) dropped.push_back(i2m::format_hpa(d.pa) + ": " + d.reason);
    EXPECT_EQ(dropped, c.dropped);
  }
}

TEST(ImportPlan, RefusesADataTimeWithoutItsSurfaceFieldsUnlessTold) {
  FakeSourceBuilder builder("pl.grib", 0, grid_from(0));
  builder.add_data_time(hours_from_2024(0), kLevels, smooth).add_data_time(hours_from_2024(6), kLevels, smooth);
  builder.remove(Quantity::surface_pressure).remove(Quantity::soil_moisture, 0.3);
  const i2m::Inventory inv = inventory_of(builder);
  i2m::ImportOptions options;
  EXPECT_EQ(failure_of([&] { i2m::make_plan(inv, options); }),
            "pl.grib: no surface pressure, soil moisture layer 4 at 2024010100 (and at 1 more data time): give the "
            "files that hold the surface fields as well, or write them as missing with --allow-missing-surface");
  options.allow_missing_surface = true;
  const i2m::ImportPlan plan = i2m::make_plan(inv, options);
  ASSERT_EQ(plan.times.size(), 2u);
  // Records 6 lm + 3 (surface pressure) and 6 lm + 12 (soil moisture, layer 4).
  for (size_t r = 0; r < plan.times[0].records.size(); ++r) {
    const bool absent = r == 6 * 3 + 2 || r == 6 * 3 + 11;
    EXPECT_EQ(plan.times[0].records[r].source == i2m::RecordSource::none, absent) << r;
  }
  ASSERT_EQ(plan.missing.size(), 2u);
  EXPECT_EQ(plan.missing[0].what + " " + plan.missing[0].when, "surface pressure at every data time");
}

TEST(ImportInventory, TakesOneEnsembleMemberAndRefusesAMixture) {
  FakeSourceBuilder builder("ens.grib", 0, grid_from(0));
  builder.add_data_time(hours_from_2024(0), kLevels, smooth);
  for (int64_t member : {1, 2, 3}) {
    for (double pa : kLevels) {
      builder.add(Quantity::temperature, pa, hours_from_2024(12), [member](int i, int) { return static_cast<float>(i + 10 * member); }, member);
    }
  }
  EXPECT_EQ(failure_of([&] { inventory_of(builder); }),
            "ens.grib: fields of 3 ensemble members (1 to 3); import one member at a time with --member N");
  EXPECT_EQ(failure_of([&] { inventory_of(builder, 4); }),
            "ens.grib: no ensemble member 4: the files hold 3 ensemble members (1 to 3)");
  const i2m::Inventory inv = inventory_of(builder, 2);
  EXPECT_EQ(inv.other_members, 6);
  const i2m::FieldInfo* t = inv.find(hours_from_2024(12), Quantity::temperature, i2m::Level::isobaric(85000));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->member, 2);
  EXPECT_NE(inv.find(hours_from_2024(0), Quantity::height, i2m::Level::isobaric(85000)), nullptr) << "fields of no ensemble stay";
}

TEST(ImportWriter, DerivesEachHumidityFromTheOtherWithTheConvertersTable) {
  // At 850 hPa no relative humidity, at 500 hPa no specific humidity; a
  // point of each input missing.
  FakeSourceBuilder builder("pl.grib", 0, grid_from(0));
  builder.add_data_time(hours_from_2024(0), kLevels, smooth);
  builder.remove(Quantity::relative_humidity, 85000).remove(Quantity::specific_humidity, 50000);
  builder.remove(Quantity::temperature);
  for (double pa : kLevels) {
    builder.add(Quantity::temperature, pa, hours_from_2024(0), [](int i, int j) {
      return i == 2 && j == 1 ? 9.999e20f : static_cast<float>(230 + 5 * i + j);
    });
  }
  builder.remove(Quantity::specific_humidity, 85000);
  builder.add(Quantity::specific_humidity, 85000, hours_from_2024(0), [](int i, int j) {
    return i == 5 && j == 3 ? 9.999e20f : static_cast<float>(i + 8 * j) / 4096.0f;
  });
  builder.remove(Quantity::relative_humidity, 50000);
  builder.add(Quantity::relative_humidity, 50000, hours_from_2024(0), [](int i, int j) { return static_cast<float>(10 + i + 9 * j); });
  const i2m::Inventory inv = inventory_of(builder);
  const i2m::ImportPlan plan = i2m::make_plan(inv, i2m::ImportOptions{});
  TempDir dir;
  i2m::WorkerPool pool(2);
  i2m::write_data_times(inv, plan, dir.path(), pool, stdout);
  const std::vector<unsigned char> bytes = file_bytes(dir.file(plan.times[0].file_name));
  auto value = [&](size_t record, size_t p) {
    float v;
    std::memcpy(&v, &bytes[record * (8 + 4 * 40) + 4 + 4 * p], 4);
    return v;
  };
  for (size_t p = 0; p < 40; ++p) {
    const int i = static_cast<int>(p % 8), j = static_cast<int>(p / 8);
    const float t = i == 2 && j == 1 ? 9.999e20f : static_cast<float>(230 + 5 * i + j);
    // Relative humidity at 850 hPa (record lm + 2): r = q (p - e) / (0.00622 e), in double, rounded once.
    const float q = i == 5 && j == 3 ? 9.999e20f : static_cast<float>(i + 8 * j) / 4096.0f;
    const double e850 = reference_esat(temperature_code(t));
    const float r = t == 9.999e20f || q == 9.999e20f
                        ? 9.999e20f
                        : static_cast<float>(static_cast<double>(q) * (850.0 - e850) / (static_cast<double>(0.00622f) * e850));
    EXPECT_TRUE(same_bits(value(3 + 1, p), r)) << p;
    // Specific humidity at 500 hPa (record 2 lm + 3): the converter's formula.
    const float rh = static_cast<float>(10 + i + 9 * j);
    const float q500 = t == 9.999e20f ? 9.999e20f : reference_q(t, rh, 500.0f);
    EXPECT_TRUE(same_bits(value(2 * 3 + 2, p), q500)) << p;
  }
}

// A library that hangs on a damaged field is named within the time limit
// however many data times came before: every worker keeps its watchdog slot
// for the whole import (there are 64 slots, and 4 workers started anew for
// each data time would use them up after 21).
[[noreturn]] void report_hang(const std::string& place, int seconds) {
  std::fprintf(stderr, "hang: %s, %d s\n", place.c_str(), seconds);
  std::_Exit(2);
}

TEST(ImportWatchdog, NamesAFieldThatHangsInTheLastOfThirtyOneDataTimes) {
  constexpr int kDataTimes = 31;
  FakeSourceBuilder builder("pl.grib", 0, grid_from(0));
  for (int t = 0; t < kDataTimes; ++t) builder.add_data_time(hours_from_2024(6 * t), kLevels, smooth);
  builder.hang_on(Quantity::temperature, 50000, hours_from_2024(6 * (kDataTimes - 1)));
  const i2m::Inventory inv = inventory_of(builder);
  const i2m::ImportPlan plan = i2m::make_plan(inv, i2m::ImportOptions{});
  TempDir dir;
  EXPECT_EXIT(
      {
        alarm(30);  // never reported: the child ends on SIGALRM, and the test fails
        i2m::start_library_watchdog(1, report_hang);
        i2m::WorkerPool pool(4);
        i2m::write_data_times(inv, plan, dir.path(), pool, stdout);
      },
      testing::ExitedWithCode(2), "hang: pl.grib: field [0-9]+, 1 s");
}

}  // namespace
