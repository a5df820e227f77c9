// The season report of inspect_work_file: a page over converted work files,
// checked as written and as a real headless browser shows it.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "inspect/report_page.h"
#include "support/data_time.h"
#include "support/picture_check.h"

namespace {

using namespace testing_support;

const std::string kTool = INSPECT_WORK_FILE_PATH;

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Three data times of a 24 x 16 grid, given out of time order. At 06 UTC a
// NaN in the 850 hPa temperature makes the data time not ready. Point
// (1, 1) holds 270 K at 850 hPa in all three, while the rest of each field
// spans a range of its own: 262 to 277.32 K at 00 UTC, 270 to 285.32 K at
// 06 UTC, 280 to 295.32 K at 12 UTC.
class Report : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* times[] = {"2024011512", "2024011500", "2024011506"};
    for (int n = 0; n < 3; ++n) {
      DataTime d = make_data_time(24, 16, 2, {1000.0f, 850.0f});
      d.la1 = 40000;
      d.la2 = 55000;
      d.lo1 = -10000;
      d.lo2 = 13000;
      d.di = d.dj = 1000;
      const float base = times[n] == std::string("2024011500") ? 262.0f : times[n] == std::string("2024011506") ? 270.0f : 280.0f;
      for (int j = 1; j <= 16; ++j) {
        for (int i = 1; i <= 24; ++i) d.at(d.tp, i, j, 2) = base + 0.04f * static_cast<float>((i - 1) * 16 + (j - 1));
      }
      d.at(d.tp, 1, 1, 2) = 270.0f;
      if (times[n] == std::string("2024011506")) d.at(d.tp, 7, 9, 2) = std::numeric_limits<float>::quiet_NaN();
      const std::string name = std::string("era_") + times[n] + ".bin";
      write_data_time(dir.path(), d, name);
      const RunResult r = run_converter(dir.path(), name + "\nx\n");
      ASSERT_EQ(r.status, 0) << r.err;
      works += " " + name + ".ZEPwrk";
    }
  }
  RunResult report(const std::string& args) {
    return run_command(dir.path(), "'" + kTool + "' report" + works + " --out season " + args);
  }

  TempDir dir;
  std::string works;
};

TEST_F(Report, PageListsEveryDataTimeInTimeOrderWithTheNotReadyFirst) {
  const RunResult r = report("--threads 2");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "wrote season/index.html: 3 data times, 1 not ready\n");
  EXPECT_EQ(r.err, "");
  const std::string page = read_file(dir.file("season/index.html"));

  // The not-ready list comes before the table and names the problem as the
  // summary does.
  const size_t list = page.find("<section id=\"not-ready\">"), table = page.find("<section id=\"times\">");
  ASSERT_NE(list, std::string::npos);
  ASSERT_NE(table, std::string::npos);
  EXPECT_LT(list, table);
  const std::string problem = "record 10 (t at 850 hPa) holds 1 NaN, the first at i=7 j=9";
  const std::string listed = page.substr(list, table - list);
  EXPECT_NE(listed.find("2024-01-15 06 UTC</a>: 1 problem, " + problem), std::string::npos) << listed;
  EXPECT_EQ(count_of(listed, "<li>"), 1u);

  // One row per data time, in time order.
  const std::string rows = page.substr(table);
  EXPECT_EQ(count_of(rows, "<tr id="), 3u);
  const size_t t00 = rows.find("2024-01-15 00 UTC"), t06 = rows.find("2024-01-15 06 UTC"), t12 = rows.find("2024-01-15 12 UTC");
  EXPECT_LT(t00, t06);
  EXPECT_LT(t06, t12);
  EXPECT_NE(rows.find(problem), std::string::npos);

  // Every picture the page names is there: thumbnails 180 pixels wide, each
  // linking to a full-size picture.
  const std::regex link("<a href=\"(pictures/[^\"]+)\"><img src=\"(thumbnails/[^\"]+)\"");
  int links = 0;
  for (auto m = std::sregex_iterator(page.begin(), page.end(), link); m != std::sregex_iterator(); ++m, ++links) {
    const Decoded full = decode_png(dir.file("season/" + (*m)[1].str()));
    const Decoded thumb = decode_png(dir.file("season/" + (*m)[2].str()));
    EXPECT_EQ(thumb.width, 180) << (*m)[2];
    EXPECT_GT(full.width, 800) << (*m)[1];
  }
  EXPECT_EQ(links, 9);  // three data times, three fields
  // Only the SVG namespace names a web address; nothing is fetched from one.
  EXPECT_EQ(count_of(page, "http"), count_of(page, "xmlns=\"http://www.w3.org/2000/svg\""));
}

TEST_F(Report, ThumbnailsOfAFieldShareOneColourRange) {
  ASSERT_EQ(report("--thumbnails t:850").status, 0);
  // The season spans 262 .. 295.32 K (the NaN aside): round values 260 to
  // 300 in steps of 10 (steps of 5 would need 9 ticks).
  const std::string page = read_file(dir.file("season/index.html"));
  EXPECT_NE(page.find("Temperature at 850 hPa (K)<br>colours 260 to 300"), std::string::npos);
  // So 270 K at point (1, 1), the south-west corner, has one colour in
  // every thumbnail, though each field alone spans another range.
  std::vector<Decoded::Pixel> corner;
  for (const char* time : {"2024011500", "2024011506", "2024011512"}) {
    const std::regex thumb(std::string("thumbnails/([^\"]*") + time + "[^\"]*_0\\.png)");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(page, m, thumb)) << time;
    const Decoded png = decode_png(dir.file("season/thumbnails/" + m[1].str()));
    ASSERT_GT(png.height, 10);
    corner.push_back(png.at(2, png.height - 3));
  }
  EXPECT_EQ(corner[0], corner[1]);
  EXPECT_EQ(corner[1], corner[2]);
}

TEST_F(Report, BadWorkFilesAndFoldersAreNamed) {
  write_file(dir.file("era_2024011518.bin.ZEPwrk"), "short");
  write_file(dir.file("era_2024011518.bin.ZEPwrk.gdsinfo"), read_file(dir.file("era_2024011500.bin.ZEPwrk.gdsinfo")));
  RunResult r = run_command(dir.path(), "'" + kTool + "' report" + works + " era_2024011518.bin.ZEPwrk --out season");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("inspect_work_file: era_2024011518.bin.ZEPwrk: holds 5 bytes"), std::string::npos) << r.err;
  write_file(dir.file("blocker"), "a file where the folder should go");
  r = run_command(dir.path(), "'" + kTool + "' report" + works + " --out blocker/season");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("inspect_work_file: blocker/season: cannot create the report folder"), std::string::npos) << r.err;
}

// The chart marks a data time whose mean stands out from its neighbours in
// time, not those that a seasonal cycle carries far from the season's
// median.
TEST(ReportChart, MarksWhatStandsOutFromItsNeighboursOnly) {
  std::vector<inspect::ReportRow> rows(1460);
  for (size_t n = 0; n < rows.size(); ++n) {
    rows[n].time = "2023010100";  // labels only
    rows[n].id = rows[n].work = "w" + std::to_string(n);
    // A yearly swing of 20 K with a little noise of its own, up to 0.6 K.
    const double mean = 270 + 10 * std::sin(2 * M_PI * static_cast<double>(n) / 1460) +
                        0.1 * (static_cast<double>((n * 7919) % 13) - 6);
    rows[n].keys[0] = {true, true, mean - 20, mean + 20, mean};
  }
  rows[700].keys[0].mean += 3;  // 3 K above its neighbours
  rows[700].time = "2023060100";
  rows[900].problems = {"record 1 (u at 1000 hPa) holds 1 NaN, the first at i=1 j=1"};
  const std::string page = inspect::report_page(rows, {});
  EXPECT_EQ(count_of(page, "<circle class=\"outlier\""), 1u) << page.substr(page.find("<svg"), 3000);
  EXPECT_NE(page.find("<a href=\"#t700\"><circle class=\"outlier\""), std::string::npos);
  EXPECT_NE(page.find("<title>2023-06-01 00 UTC: "), std::string::npos);
  // The not-ready data time has its tick under the panels, linked to its row.
  EXPECT_EQ(count_of(page, "class=\"not-ready-tick\""), 1u);
  EXPECT_NE(page.find("<a href=\"#t900\"><rect class=\"not-ready-tick\""), std::string::npos);
}

// ---------------------------------------------------------------------------
// In a real browser.

bool have_chromium() { return std::system("command -v chromium > /dev/null 2>&1") == 0; }

// Chromium headless with a profile of its own and the browser's own
// background traffic turned off, so that its network log shows the page's
// requests only.
std::string chromium(const TempDir& dir) {
  return "chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run --disable-extensions "
         "--disable-background-networking --disable-component-update --disable-sync --disable-default-apps "
         "--user-data-dir='" + dir.file("profile") + "' ";
}

TEST_F(Report, LoadsInAHeadlessBrowserWithoutErrorsOrNetwork) {
  if (!have_chromium()) GTEST_SKIP() << "chromium is not installed";
  ASSERT_EQ(report("").status, 0);
  const std::string url = "file://" + dir.file("season/index.html");
  const RunResult shown = run_command(dir.path(), chromium(dir) +
                                                      "--enable-logging=stderr --v=0 --log-net-log=net.json "
                                                      "--virtual-time-budget=5000 --dump-dom '" + url + "'");
  ASSERT_EQ(shown.status, 0) << shown.err;
  // No console message at all: the page logs nothing, so any is an error.
  EXPECT_EQ(shown.err.find(":CONSOLE"), std::string::npos) << shown.err;
  // Requests that the page made through the network stack carry its file://
  // origin; files themselves are read without it. There must be none.
  std::istringstream log(read_file(dir.file("net.json")));
  int events = 0;
  for (std::string line; std::getline(log, line); ++events) {
    EXPECT_EQ(line.find("\"network_isolation_key\":\"file://"), std::string::npos) << line.substr(0, 400);
  }
  EXPECT_GT(events, 10);  // the log was written
  // The script ran once the page and its pictures had loaded.
  const std::string& dom = shown.out;
  EXPECT_NE(dom.find("data-thumbnails-loaded=\"9\""), std::string::npos) << dom.substr(0, 600);
  EXPECT_NE(dom.find("data-thumbnails-broken=\"0\""), std::string::npos);
  EXPECT_EQ(count_of(dom, "<tr id=\"t"), 3u);
  EXPECT_LT(dom.find("id=\"not-ready\""), dom.find("id=\"times\""));

  // A screenshot, kept beside the test's build as an artefact.
  std::filesystem::create_directories(TEST_ARTIFACT_DIR);
  const std::string shot = std::string(TEST_ARTIFACT_DIR) + "/season_report.png";
  std::filesystem::remove(shot);
  const RunResult taken =
      run_command(dir.path(), chromium(dir) + "--window-size=1400,1200 --screenshot='" + shot + "' '" + url + "'");
  ASSERT_EQ(taken.status, 0) << taken.err;
  const Decoded png = decode_png(shot);
  EXPECT_EQ(png.width, 1400);
  EXPECT_EQ(png.height, 1200);

  // A thumbnail gone: the browser cannot load it, and the page says so.
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("season/thumbnails"))) {
    std::filesystem::remove(entry.path());
    break;
  }
  const RunResult broken =
      run_command(dir.path(), chromium(dir) + "--virtual-time-budget=5000 --dump-dom '" + url + "'");
  EXPECT_NE(broken.out.find("data-thumbnails-broken=\"1\""), std::string::npos);
  EXPECT_NE(broken.out.find("1 thumbnails could not be loaded."), std::string::npos);
}

}  // namespace
