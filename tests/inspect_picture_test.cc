// The pictures of inspect_work_file: the round values of the colour bar, the
// coastline contour, and end to end the pictures of converted work files,
// read back pixel by pixel and, for their text, by OCR.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "inspect/coastline.h"
#include "inspect/colour_scale.h"
#include "support/data_time.h"
#include "support/picture_check.h"

namespace {

using namespace testing_support;

const std::string kTool = INSPECT_WORK_FILE_PATH;

// ---------------------------------------------------------------------------
// The colour bar's scale.

// The step between ticks must be 1, 2, 2.5 or 5 times a power of ten.
bool round_step(double step) {
  const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
  for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (std::fabs(mantissa - m) < 1e-9) return true;
  }
  return false;
}

TEST(ColourScale, RoundScalesRunFromTickToTickAtRoundValues) {
  // From the rule: the smallest round step giving at most 8 ticks from a
  // multiple at or below the lowest value to one at or above the highest.
  struct Case {
    double low, high;
    double from, to;
    std::vector<std::string> labels;  // empty: only the general rules
  };
  const Case cases[] = {
      // step 0.05 needs 0.05..0.6 = 12 ticks; 0.1 gives 0..0.6 = 7
      {0.0686, 0.5999, 0, 0.6, {"0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6"}},
      // step 5 needs 250..300 = 11 ticks; 10 gives 6
      {250.006, 296.993, 250, 300, {"250", "260", "270", "280", "290", "300"}},
      // step 2 needs -6..10 = 9 ticks; 2.5 gives -7.5..10 = 8
      {-5.4, 9.4, -7.5, 10, {"-7.5", "-5.0", "-2.5", "0", "2.5", "5.0", "7.5", "10.0"}},
      // step 20 needs 960..1040 = 5 ticks; 10 would need 9
      {963.2, 1038.1, 960, 1040, {"960", "980", "1000", "1020", "1040"}},
      {-0.00042, 0.00017, -0.0005, 0.0002, {}},
      {0, 1, 0, 1, {}},
      {1e6, 3.3e6, 1e6, 3.5e6, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.low) + " .. " + std::to_string(c.high));
    const inspect::ColourScale s = inspect::round_scale(c.low, c.high);
    EXPECT_NEAR(s.low, c.from, 1e-9 * std::fabs(c.to - c.from));
    EXPECT_NEAR(s.high, c.to, 1e-9 * std::fabs(c.to - c.from));
    ASSERT_GE(s.ticks.size(), 5u);
    ASSERT_LE(s.ticks.size(), 8u);
    EXPECT_DOUBLE_EQ(s.ticks.front(), s.low);
    EXPECT_DOUBLE_EQ(s.ticks.back(), s.high);
    EXPECT_TRUE(round_step(s.ticks[1] - s.ticks[0])) << s.ticks[1] - s.ticks[0];
    if (c.labels.empty()) continue;
    std::vector<std::string> labels;
    for (double t : s.ticks) labels.push_back(inspect::tick_label(s, t));
    EXPECT_EQ(labels, c.labels);
  }
}

TEST(ColourScale, OneValueAndFixedRanges) {
  // A field of one value still gets a bar of round ticks around it.
  for (double v : {0.0, 101325.0, -3.5}) {
    SCOPED_TRACE(v);
    const inspect::ColourScale s = inspect::round_scale(v, v);
    EXPECT_LT(s.low, v);
    EXPECT_GT(s.high, v);
    EXPECT_GE(s.ticks.size(), 5u);
    EXPECT_LE(s.ticks.size(), 8u);
  }
  // A fixed range keeps its ends; the ticks are the round values inside.
  const inspect::ColourScale fixed = inspect::fixed_scale(240, 300);
  EXPECT_EQ(fixed.low, 240);
  EXPECT_EQ(fixed.high, 300);
  EXPECT_EQ(fixed.ticks, (std::vector<double>{240, 250, 260, 270, 280, 290, 300}));
  const inspect::ColourScale odd = inspect::fixed_scale(0.03, 0.61);
  EXPECT_EQ(odd.low, 0.03);
  EXPECT_EQ(odd.high, 0.61);
  ASSERT_EQ(odd.ticks.size(), 6u);  // 0.1 .. 0.6: step 0.05 would give 12
  EXPECT_EQ(inspect::tick_label(odd, odd.ticks.front()), "0.1");
}

// ---------------------------------------------------------------------------
// The coastline.

TEST(Coastline, FollowsTheMaskBetweenLandAndSea) {
  // 5 x 4, land in the western two columns: one vertical line halfway
  // between columns 1 and 2 (0-based), from the first row to the last.
  std::vector<float> mask(20, 0.0f);
  for (int j = 0; j < 4; ++j) mask[j * 5] = mask[j * 5 + 1] = 1.0f;
  const std::vector<inspect::Segment> line = inspect::coastline(mask, 5, 4, false);
  ASSERT_EQ(line.size(), 3u);
  for (const inspect::Segment& s : line) {
    EXPECT_EQ(s.i0, 1.5);
    EXPECT_EQ(s.i1, 1.5);
    EXPECT_EQ(std::fabs(s.j1 - s.j0), 1.0);
  }
  // Two land points diagonal to each other stay two islands: two segments.
  const std::vector<float> saddle = {1, 0, 0, 1};
  const std::vector<inspect::Segment> two = inspect::coastline(saddle, 2, 2, false);
  ASSERT_EQ(two.size(), 2u);
  for (const inspect::Segment& s : two) EXPECT_EQ(std::fabs(s.i1 - s.i0) + std::fabs(s.j1 - s.j0), 1.0);
  // Round the globe, land in the last column meets sea in the first: the
  // line between them is drawn at both edges, besides the one at i = 1.5.
  std::vector<float> seam(20, 0.0f);
  for (int j = 0; j < 4; ++j) seam[j * 5 + 4] = 1.0f;
  int right = 0, left = 0;
  for (const inspect::Segment& s : inspect::coastline(seam, 5, 4, true)) {
    right += s.i0 == 4.5 && s.i1 == 4.5 ? 1 : 0;
    left += s.i0 == -0.5 && s.i1 == -0.5 ? 1 : 0;
  }
  EXPECT_EQ(right, 3);
  EXPECT_EQ(left, 3);
  EXPECT_EQ(inspect::coastline(seam, 5, 4, false).size(), 3u);  // only the line between columns 3 and 4
  // All land or all sea: no line.
  EXPECT_TRUE(inspect::coastline(std::vector<float>(20, 1.0f), 5, 4, false).empty());
  EXPECT_TRUE(inspect::coastline(std::vector<float>(20, 0.0f), 5, 4, false).empty());
}

// ---------------------------------------------------------------------------
// Pictures of converted work files.

double luminance(const Decoded::Pixel& p) { return 0.2126 * p.r + 0.7152 * p.g + 0.0722 * p.b; }

// A data time converted in its own folder, with its picture tools.
struct Converted {
  TempDir dir;
  DataTime d;
  std::string work;

  Converted(DataTime data, const std::string& name = "era_2024011512.bin") : d(std::move(data)) {
    write_data_time(dir.path(), d, name);
    const RunResult r = run_converter(dir.path(), name + "\nx\n");
    EXPECT_EQ(r.status, 0) << r.err;
    work = name + ".ZEPwrk";
  }
  RunResult png(const std::string& args) { return run_command(dir.path(), "'" + kTool + "' png " + work + " " + args); }
  // Draws and reads back; the test fails when either goes wrong.
  Decoded draw(const std::string& args, DrawnPicture& drawn) {
    const RunResult r = png(args + " --output pic.png");
    EXPECT_EQ(r.status, 0) << r.err;
    drawn = parse_png_line(r.out);
    EXPECT_TRUE(drawn.parsed) << r.out;
    return decode_png(dir.file("pic.png"));
  }
};

// The pixel at the centre of grid point (i, j) (1-based), rows south first
// unless the grid is stored north first.
Decoded::Pixel centre(const Decoded& png, const DrawnPicture& p, const DataTime& d, int i, int j) {
  const bool north_first = d.la1 > d.la2;
  const int row = north_first ? j - 1 : d.jm - j;
  const double x = p.map_x + (i - 0.5) * p.map_width / d.im;
  const double y = p.map_y + (row + 0.5) * p.map_height / d.jm;
  return png.at(static_cast<int>(x), static_cast<int>(y));
}

DataTime regional(int im, int jm) {
  DataTime d = make_data_time(im, jm, 2, {1000.0f, 850.0f});
  d.la1 = 30000;
  d.la2 = 30000 + (jm - 1) * 1000;
  d.lo1 = -30000;  // a west edge west of Greenwich
  d.lo2 = -30000 + (im - 1) * 2000;
  d.di = 2000;
  d.dj = 1000;
  return d;
}

TEST(Picture, MapIsAsWideForEveryGridAndKeepsDegreesSquare) {
  struct Case {
    const char* name;
    DataTime d;
  };
  const Case cases[] = {
      {"global 12 x 8", make_data_time(12, 8, 1, {850.0f})},
      {"global 144 x 73", make_data_time(144, 73, 1, {850.0f})},
      {"regional 40 x 30", regional(40, 30)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Converted run(c.d);
    DrawnPicture p;
    const Decoded png = run.draw("topo", p);
    ASSERT_GT(png.width, 0);
    EXPECT_EQ(png.width, p.width);
    EXPECT_EQ(png.height, p.height);
    EXPECT_EQ(p.map_width, 900);
    const double degrees_high = (c.d.la2 - c.d.la1) / 1000.0 / (c.d.jm - 1) * c.d.jm;
    const double degrees_wide = (c.d.lo2 - c.d.lo1) / 1000.0 / (c.d.im - 1) * c.d.im;
    EXPECT_NEAR(p.map_height, 900 * std::fabs(degrees_high / degrees_wide), 1.0);
    // Room for the labels on every side of the map.
    EXPECT_GE(p.map_x, 40);
    EXPECT_GE(p.map_y, 20);
    EXPECT_GE(p.width - p.map_x - p.map_width, 40);
    EXPECT_GE(p.height - p.map_y - p.map_height, 80);
  }
}

TEST(Picture, NorthIsAtTheTopAndMissingPointsAreMagenta) {
  // Height grows northwards (0.25 per row) in both storage orders.
  for (const bool north_first : {false, true}) {
    SCOPED_TRACE(north_first ? "rows north first" : "rows south first");
    DataTime d = regional(12, 8);
    if (north_first) std::swap(d.la1, d.la2);
    for (int j = 1; j <= d.jm; ++j) {
      for (int i = 1; i <= d.im; ++i) d.at(d.ht, i, j, 2) = 1500.0f + 10.0f * static_cast<float>(north_first ? d.jm - j : j);
    }
    d.at(d.ht, 3, 2, 2) = -99999.0f;
    d.at(d.ht, 7, 5, 2) = std::numeric_limits<float>::quiet_NaN();
    Converted run(d);
    DrawnPicture p;
    const Decoded png = run.draw("z:850", p);
    ASSERT_GT(png.width, 0);
    EXPECT_EQ(p.missing, 2);
    EXPECT_EQ(centre(png, p, d, 3, 2), (Decoded::Pixel{255, 0, 255}));
    EXPECT_EQ(centre(png, p, d, 7, 5), (Decoded::Pixel{255, 0, 255}));
    // Viridis grows lighter with the value: the northern row, at the top of
    // the map, is the lightest.
    const int north = north_first ? 1 : d.jm, south = north_first ? d.jm : 1;
    const double top = luminance(png.at(p.map_x + p.map_width / 2, p.map_y + 3));
    const double bottom = luminance(png.at(p.map_x + p.map_width / 2, p.map_y + p.map_height - 4));
    EXPECT_GT(top, bottom + 100);
    EXPECT_EQ(luminance(centre(png, p, d, 6, north)), top);
    EXPECT_EQ(luminance(centre(png, p, d, 6, south)), bottom);
  }
}

TEST(Picture, CoastlineRunsWhereTheMaskChanges) {
  // The same field drawn over a mask with land in the western half and over
  // an all-land mask: the pictures differ only along the coast.
  DataTime d = regional(12, 8);
  DataTime all_land = d;
  for (int j = 1; j <= d.jm; ++j) {
    for (int i = 1; i <= d.im; ++i) {
      d.at(d.slp, i, j, 1) = i <= 6 ? 1.0f : 0.0f;
      all_land.at(all_land.slp, i, j, 1) = 1.0f;
    }
  }
  Converted coast(d), land(all_land);
  DrawnPicture p, q;
  const Decoded with = coast.draw("t:850", p), without = land.draw("t:850", q);
  ASSERT_EQ(with.width, without.width);
  ASSERT_EQ(with.height, without.height);
  // Halfway between the centres of columns 6 and 7, from the centre of the
  // top row to the centre of the bottom row.
  const double x = p.map_x + 6.0 * p.map_width / d.im;
  const double y0 = p.map_y + 0.5 * p.map_height / d.jm, y1 = p.map_y + (d.jm - 0.5) * p.map_height / d.jm;
  int rows_with_line = 0;
  for (int y = 0; y < with.height; ++y) {
    bool changed_here = false;
    for (int px = 0; px < with.width; ++px) {
      if (with.at(px, y) == without.at(px, y)) continue;
      EXPECT_LE(std::fabs(px + 0.5 - x), 2.5) << "a change away from the coast at " << px << "," << y;
      changed_here = true;
    }
    if (changed_here && y >= y0 + 1 && y <= y1 - 1) ++rows_with_line;
  }
  EXPECT_GE(rows_with_line, static_cast<int>(y1 - y0) - 3);
  // The line is dark over the field.
  EXPECT_LT(luminance(with.at(static_cast<int>(x), static_cast<int>((y0 + y1) / 2))),
            luminance(without.at(static_cast<int>(x), static_cast<int>((y0 + y1) / 2))) - 40);
}

TEST(Picture, FixedRangeMakesDataTimesComparable) {
  // Two data times whose temperatures span different ranges: on a fixed
  // scale, a point of equal value has the same colour in both.
  DataTime warm = regional(12, 8), cold = regional(12, 8);
  for (int j = 1; j <= 8; ++j) {
    for (int i = 1; i <= 12; ++i) {
      warm.at(warm.tp, i, j, 2) = 270.0f + static_cast<float>(i);
      cold.at(cold.tp, i, j, 2) = 250.0f + static_cast<float>(i);
    }
  }
  warm.at(warm.tp, 1, 1, 2) = 260.0f;
  cold.at(cold.tp, 1, 1, 2) = 260.0f;
  for (DataTime* d : {&warm, &cold}) {
    for (int i = 1; i <= 12; ++i) d->at(d->slp, i, 1, 1) = 1.0f;  // no coast through the probed cell
  }
  Converted a(warm), b(cold);
  DrawnPicture pa, pb;
  const Decoded fixed_a = a.draw("t:850 --range 240/300", pa), fixed_b = b.draw("t:850 --range 240/300", pb);
  EXPECT_EQ(pa.low, "240");
  EXPECT_EQ(pa.high, "300");
  EXPECT_EQ(centre(fixed_a, pa, warm, 1, 1), centre(fixed_b, pb, cold, 1, 1));
  const Decoded own_a = a.draw("t:850", pa), own_b = b.draw("t:850", pb);
  EXPECT_NE(centre(own_a, pa, warm, 1, 1), centre(own_b, pb, cold, 1, 1));
}

TEST(Picture, WindShadesTheSpeedAndDrawsArrows) {
  DataTime d = regional(24, 16);
  for (int j = 1; j <= d.jm; ++j) {
    for (int i = 1; i <= d.im; ++i) {
      d.at(d.uw, i, j, 2) = 3.0f;
      d.at(d.vw, i, j, 2) = 4.0f + 0.5f * static_cast<float>(i);  // speed grows eastwards
      d.at(d.slp, i, j, 1) = 1.0f;                                  // no coastline
    }
  }
  Converted run(d);
  DrawnPicture p;
  const Decoded png = run.draw("wind:850", p);
  ASSERT_GT(png.width, 0);
  EXPECT_EQ(p.title.rfind("Wind speed at 850 hPa (m/s)", 0), 0u) << p.title;
  // sqrt(3^2 + (4 + 0.5)^2) = 5.408 at i = 1 and sqrt(3^2 + 16^2) = 16.279 at i = 24.
  EXPECT_EQ(p.low, "4");
  EXPECT_EQ(p.high, "18");
  // Arrows are black on a field that viridis never shades near black.
  int black = 0;
  for (int y = p.map_y; y < p.map_y + p.map_height; ++y) {
    for (int x = p.map_x; x < p.map_x + p.map_width; ++x) black += luminance(png.at(x, y)) < 15 ? 1 : 0;
  }
  EXPECT_GT(black, 100);
  EXPECT_EQ(run.png("wind:700").status, 2);  // no such level
}

TEST(Picture, SvgHoldsTheSameDrawing) {
  Converted run(regional(12, 8));
  DrawnPicture p;
  run.draw("t:850", p);
  const RunResult r = run.png("t:850 --svg --output pic.svg");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string svg = read_file(run.dir.file("pic.svg"));
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("width=\"" + std::to_string(p.width) + "pt\" height=\"" + std::to_string(p.height) + "pt\""),
            std::string::npos)
      << svg.substr(0, 300);
  EXPECT_NE(svg.find("<image"), std::string::npos);   // the map
  EXPECT_NE(svg.find("<symbol"), std::string::npos);  // glyphs of the text
}

TEST(Picture, BadRequestsAreUsageErrors) {
  Converted run(regional(12, 8));
  struct Case {
    const char* args;
    const char* message;
  };
  const Case cases[] = {
      {"t:850 --range 300/240", "--range: expected two numbers MIN/MAX with MIN < MAX"},
      {"t:850 --range 240", "--range: expected two numbers MIN/MAX with MIN < MAX"},
      {"t:850 --range a/b", "--range: expected two numbers MIN/MAX with MIN < MAX"},
      {"t:123", "inspect_work_file: "},
      {"wind:abc", "inspect_work_file: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const RunResult r = run.png(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

// ---------------------------------------------------------------------------
// The text, read back by OCR.

bool has_word(const std::vector<std::string>& words, const std::string& w) {
  for (const std::string& x : words) {
    if (x == w) return true;
  }
  return false;
}

TEST(PictureText, TitleTicksAndLegendAreReadable) {
  if (!have_ocr()) GTEST_SKIP() << "tesseract is not installed";
  // Fields spanning the ranges of the colour scale test, on a regional grid
  // whose west edge is negative.
  DataTime d = regional(40, 30);
  for (int j = 1; j <= d.jm; ++j) {
    for (int i = 1; i <= d.im; ++i) {
      const float f = static_cast<float>((j - 1) * d.im + (i - 1)) / static_cast<float>(d.points() - 1);
      d.at(d.tp, i, j, 2) = 250.006f + f * (296.993f - 250.006f);
      d.at(d.uw, i, j, 1) = -5.4f + f * (9.4f - -5.4f);
      d.at(d.slp, i, j, 6) = 0.0686f + f * (0.5999f - 0.0686f);
    }
  }
  d.at(d.slp, 5, 5, 6) = -99999.0f;
  Converted run(d);
  struct Case {
    const char* record;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"t:850", {"Temperature", "850", "hPa", "2024-01-15", "40", "30", "250", "260", "270", "280", "290", "300"}},
      {"u:1000", {"1000", "hPa", "-7.5", "-5.0", "-2.5", "0", "2.5", "5.0", "7.5", "10.0"}},
      {"sm1", {"0", "0.1", "0.2", "0.3", "0.4", "0.5", "0.6", "missing,", "NaN", "infinite:", "1", "point"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    DrawnPicture p;
    run.draw(c.record, p);
    const std::vector<std::string> words = ocr_words(run.dir.file("pic.png"));
    std::string all;
    for (const std::string& w : words) all += w + " ";
    for (const std::string& w : c.words) EXPECT_TRUE(has_word(words, w)) << "\"" << w << "\" not in: " << all;
  }
}

}  // namespace
