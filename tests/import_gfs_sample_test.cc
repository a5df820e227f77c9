// The importer on real data that no one here made: Debian's GFS 2.5-degree
// sample (python-grib-doc), imported, converted, and checked point by point
// against ecCodes' own grib_get_data, north-first rows and all.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/picture_check.h"

namespace {

using namespace testing_support;

const std::string kSample = "/usr/share/doc/python-grib-doc/examples/gfs.t12z.pgrbf120.2p5deg.grib2";

struct Point {
  double lat, lon;
};

// grib_get_data's value at each point, full precision; NaN where it prints none (missing).
std::vector<double> grib_values(const TempDir& dir, const std::string& where, const std::vector<Point>& points) {
  const RunResult r = run_command(dir.path(), "grib_get_data -F '%.17g' -w " + where + " '" + kSample + "'");
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<double> values(points.size(), NAN);
  std::istringstream lines(r.out);
  std::string header;
  std::getline(lines, header);
  double lat, lon, value;
  while (lines >> lat >> lon >> value) {
    for (size_t p = 0; p < points.size(); ++p) {
      if (lat == points[p].lat && lon == points[p].lon) values[p] = value;
    }
  }
  return values;
}

// The work file's value at a point of the 144 x 73 grid, rows south first.
float work_value(const std::vector<unsigned char>& work, int record, const Point& p) {
  const int i = static_cast<int>(p.lon / 2.5), j = static_cast<int>((p.lat + 90) / 2.5);
  float v;
  std::memcpy(&v, &work[(static_cast<size_t>(record - 1) * 73 * 144 + static_cast<size_t>(j) * 144 + i) * 4], 4);
  return v;
}

// The picture of the 850 hPa temperature: its text read back, and the
// coastline wherever the land-sea mask changes between neighbours.
void expect_picture_of_real_data(const TempDir& dir, const std::vector<unsigned char>& work, int lm) {
  // The same work file with land everywhere: its picture differs only by
  // the coastline.
  const size_t mask = static_cast<size_t>(5 * lm) * 73 * 144 * 4;
  std::vector<unsigned char> all_land = work;
  const float one = 1.0f;
  for (size_t p = 0; p < 73 * 144; ++p) std::memcpy(&all_land[mask + 4 * p], &one, 4);
  write_file(dir.file("out/land_2011011512.bin.ZEPwrk"), std::string(all_land.begin(), all_land.end()));
  write_file(dir.file("out/land_2011011512.bin.ZEPwrk.gdsinfo"), read_file(dir.file("out/gfs_2011011512.bin.ZEPwrk.gdsinfo")));
  const std::string tool = "'" INSPECT_WORK_FILE_PATH "' png ";
  RunResult r = run_command(dir.file("out"), tool + "gfs_2011011512.bin.ZEPwrk t:850 --output coast.png");
  ASSERT_EQ(r.status, 0) << r.err;
  const DrawnPicture p = parse_png_line(r.out);
  EXPECT_EQ(p.title, "Temperature at 850 hPa (K), 2011-01-15 12 UTC, 144 x 73 points") << r.out;
  // 240 to 303.1 K: steps of 5 would need 240..305 = 14 ticks, 10 give 240..310 = 8.
  EXPECT_EQ(p.low, "240");
  EXPECT_EQ(p.high, "310");
  r = run_command(dir.file("out"), tool + "land_2011011512.bin.ZEPwrk t:850 --output land.png");
  ASSERT_EQ(r.status, 0) << r.err;
  const Decoded coast = decode_png(dir.file("out/coast.png")), land = decode_png(dir.file("out/land.png"));
  ASSERT_EQ(coast.width, land.width);
  ASSERT_EQ(coast.height, land.height);
  // Between horizontal neighbours of land and sea, the line passes halfway
  // between their centres. Rows are stored south first.
  auto mask_at = [&](int i, int j) {
    float v;
    std::memcpy(&v, &work[mask + 4 * (static_cast<size_t>(j) * 144 + i)], 4);
    return v;
  };
  const double cell_w = p.map_width / 144.0, cell_h = p.map_height / 73.0;
  int crossings = 0, drawn = 0;
  for (int j = 0; j < 73; ++j) {
    for (int i = 0; i + 1 < 144; ++i) {
      if (mask_at(i, j) == mask_at(i + 1, j)) continue;
      ++crossings;
      const int x = static_cast<int>(p.map_x + (i + 1) * cell_w), y = static_cast<int>(p.map_y + (72 - j + 0.5) * cell_h);
      bool changed = false;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) changed = changed || !(coast.at(x + dx, y + dy) == land.at(x + dx, y + dy));
      }
      drawn += changed ? 1 : 0;
    }
  }
  EXPECT_GT(crossings, 300);
  EXPECT_GE(drawn, crossings * 95 / 100) << drawn << " of " << crossings;
  if (!have_ocr()) return;
  const std::vector<std::string> words = ocr_words(dir.file("out/coast.png"));
  for (const char* w : {"Temperature", "850", "hPa", "2011-01-15", "UTC,", "144", "73", "240", "270", "310"}) {
    EXPECT_NE(std::find(words.begin(), words.end(), w), words.end()) << w;
  }
}

TEST(GfsSample, ImportedAndConvertedValuesMatchEcCodes) {
  if (!std::filesystem::exists(kSample)) GTEST_SKIP() << kSample << " is absent (Debian package python-grib-doc)";
  TempDir dir;
  const RunResult imported = run_importer(dir.path(), "--out out '" + kSample + "'");
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_NE(imported.out.find("[1/1] 2011011512 -> gfs_2011011512.bin\n"), std::string::npos);
  EXPECT_NE(imported.out.find("levels dropped (1):\n  20 hPa: no relative humidity at 2011011512\n"), std::string::npos);

  const RunResult converted = run_converter(dir.file("out"), "gfs_2011011512.bin\nx\n");
  ASSERT_EQ(converted.status, 0) << converted.err;
  const std::vector<unsigned char> work = file_bytes(dir.file("out/gfs_2011011512.bin.ZEPwrk"));
  ASSERT_EQ(work.size(), (5u * 25 + 12) * 144 * 73 * 4);

  // Levels as the control file lists them, 1000 hPa first.
  std::istringstream control(read_file(dir.file("out/InputModelInf.txt")));
  std::string line;
  std::vector<std::string> levels;
  for (int n = 0; std::getline(control, line); ++n) {
    if (n >= 9) levels.push_back(line);
  }
  ASSERT_EQ(levels.size(), 25u);
  auto level_index = [&](const std::string& hpa) {
    for (size_t k = 0; k < levels.size(); ++k) {
      if (levels[k] == hpa) return static_cast<int>(k) + 1;
    }
    return -1;
  };
  const int lm = 25;

  // Points in both hemispheres and at both ends of the rows; the soil ones on land.
  const std::vector<Point> points = {{60, 10}, {-30, 150}, {0, 0}, {85, 357.5}, {-90, 0}, {47.5, 250}};
  const std::vector<Point> land = {{50, 10}, {-25, 135}, {40, 260}, {-10, 300}};
  struct Case {
    const char* where;
    int record;
    double divisor;
    const std::vector<Point>* at;
  };
  const Case cases[] = {
      {"shortName=t,typeOfLevel=isobaricInhPa,level=850", 4 * lm + level_index("850"), 1, &points},
      {"shortName=gh,typeOfLevel=isobaricInhPa,level=500", 2 * lm + level_index("500"), 1, &points},
      {"shortName=prmsl", 5 * lm + 2, 100, &points},
      // The third soil layer, 0.4 to 1 m: its top is the scaled value 40 (x 10^-2 m).
      {"shortName=t,typeOfLevel=depthBelowLandLayer,scaledValueOfFirstFixedSurface=40", 5 * lm + 9, 1, &land},
  };
  // The inspector's verdict on the real data: the soil zeros of GFS lie over
  // the sea, which the verdict does not count.
  const std::string inspect = "'" INSPECT_WORK_FILE_PATH "' out/gfs_2011011512.bin.ZEPwrk summary";
  RunResult verdict = run_command(dir.path(), inspect);
  EXPECT_EQ(verdict.status, 0) << verdict.out;
  EXPECT_NE(verdict.out.find("verdict: ready"), std::string::npos) << verdict.out;
  // One land point of the third soil layer set to zero afterwards (the
  // converter's fill would have closed such a gap in the input).
  std::vector<unsigned char> damaged = work;
  const Point berlin{50, 10};
  const int i = static_cast<int>(berlin.lon / 2.5), j = static_cast<int>((berlin.lat + 90) / 2.5);
  const size_t mask = (static_cast<size_t>(5 * lm) * 73 * 144 + static_cast<size_t>(j) * 144 + i) * 4;
  float mask_value = 0;
  std::memcpy(&mask_value, &work[mask], 4);
  ASSERT_EQ(mask_value, 1.0f);
  const float zero = 0.0f;
  std::memcpy(&damaged[(static_cast<size_t>(5 * lm + 8) * 73 * 144 + static_cast<size_t>(j) * 144 + i) * 4], &zero, 4);
  write_file(dir.file("out/gfs_2011011512.bin.ZEPwrk"), std::string(damaged.begin(), damaged.end()));
  verdict = run_command(dir.path(), inspect);
  EXPECT_EQ(verdict.status, 1);
  EXPECT_NE(verdict.out.find("verdict: NOT READY, 1 problems:\n  record 134 (st3) holds 1 zeros in a soil field over land, "
                             "the first at i=5 j=57\n"),
            std::string::npos)
      << verdict.out;

  expect_picture_of_real_data(dir, work, lm);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    const std::vector<double> expected = grib_values(dir, c.where, *c.at);
    for (size_t p = 0; p < c.at->size(); ++p) {
      ASSERT_FALSE(std::isnan(expected[p])) << "no value at point " << p;
      EXPECT_EQ(work_value(work, c.record, (*c.at)[p]), static_cast<float>(expected[p] / c.divisor))
          << (*c.at)[p].lat << " " << (*c.at)[p].lon;
    }
  }
}

}  // namespace
