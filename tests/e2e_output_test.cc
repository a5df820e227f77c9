// End-to-end runs that check the work file, the ".gdsinfo" file and the log
// of a conversion byte for byte.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/expected.h"

namespace {

using namespace testing_support;

// The 16-character real field for the values these tests use, written with
// printf: fixed form with 9 significant digits.
std::string field16(float v) {
  const double a = v < 0 ? -static_cast<double>(v) : static_cast<double>(v);
  const int decimals = a == 0 ? 8 : a < 1 ? 9 : a < 10 ? 8 : a < 100 ? 7 : a < 1000 ? 6 : a < 10000 ? 5 : 4;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%12.*f    ", decimals, static_cast<double>(v));
  return buffer;
}

std::string int11(int v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%11d", v);
  return buffer;
}

std::string report_lines(const DataTime& d, int i, int j) {
  std::string out;
  for (int n = 1; n <= 12; ++n) {
    out += " field, value  " + int11(n) + " " + field16(d.slp[(n - 1) * d.points() + (j - 1) * d.im + (i - 1)]) + "\n";
  }
  return out;
}

// Surface values in ranges the fill leaves alone, distinct at every point.
void set_distinct_surface(DataTime& d) {
  for (int n = 1; n <= 12; ++n) {
    for (int j = 1; j <= d.jm; ++j) {
      for (int i = 1; i <= d.im; ++i) {
        float v = 0.5f * static_cast<float>(n) + 0.0625f * static_cast<float>(i) + 0.015625f * static_cast<float>(j);
        if (n == 1) v = (i + j) % 2 == 0 ? 1.0f : 0.0f;
        if (n >= 6 && n % 2 == 0) v = 0.125f + 0.0625f * static_cast<float>(i % 4) + 0.015625f * static_cast<float>(j % 4);
        d.at(d.slp, i, j, n) = v;
      }
    }
  }
}

const char* const kFieldNames =
    "\n"
    " Fields names and writing order\n"
    "\n"
    "         3D \n"
    " first written record: botton of the atmosphere\n"
    " Zonal wind                (m/s)\n"
    " Meridional wind           (m/s)\n"
    " Geopotential height       (m)\n"
    " Specific humidity         (kg/kg)\n"
    " Temperature               (K)\n"
    "\n"
    "         2D\n"
    " Land-sea mask             ( )\n"
    " M S L Pressure            (hPa)\n"
    " Surface Pressure          (hPa)\n"
    " Topography                (m)\n"
    " Soil Temperature  layer 1 (K)\n"
    " Soil Moisture layer 1     (0-1)\n"
    " Soil Temperature  layer 2 (K)\n"
    " Soil Moisture layer 2     (0-1)\n"
    " Soil Temperature  layer 3 (K)\n"
    " Soil Moisture layer 3     (0-1)\n"
    " Soil Temperature  layer 4 (K)\n"
    " Soil Moisture layer 4     (0-1)\n";

TEST(WorkFile, RoadOfOneRun) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.file("data").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(dir.file("work").c_str(), 0755), 0);
  const std::vector<float> pr{1000, 925, 850, 700, 600, 500, 400, 300, 250, 200, 150, 100, 70, 50, 30, 20, 10};
  DataTime d = make_data_time(144, 73, 17, pr);
  set_distinct_surface(d);
  for (int k = 1; k <= 2; ++k) {
    std::fill(d.level(d.rh, k), d.level(d.rh, k) + d.points(), kInputMissing);
  }
  write_data_time(dir.file("work"), d);
  std::rename(dir.file("work/in.bin").c_str(), dir.file("data/in.bin").c_str());
  const std::string input = dir.file("data/in.bin");

  const RunResult r = run_converter(dir.file("work"), input + "\nsecond line\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");

  // The patch copies level 3 of rh down to levels 2 and 1.
  DataTime patched = d;
  for (int k = 1; k <= 2; ++k) std::copy(d.level(d.rh, 3), d.level(d.rh, 4), patched.level(patched.rh, k));
  const auto records = read_work_records(input + ".ZEPwrk", d);
  EXPECT_EQ(file_bytes(input + ".ZEPwrk").size(), 4078656u);
  ASSERT_EQ(records.size(), 97u);
  std::string detail;
  EXPECT_EQ(first_record_difference(records, expected_work_records(patched), detail), -1) << detail;

  const std::string work = input + ".ZEPwrk";
  const std::string expected_log =
      " using hardwired stuff!          144          73          17\n"
      "   1000.00000       925.000000       850.000000       700.000000       600.000000    "
      "   500.000000       400.000000       300.000000       250.000000       200.000000    "
      "   150.000000       100.000000       70.0000000       50.0000000       30.0000000    "
      "   20.0000000       10.0000000    \n"
      " TESTMODEL\n"
      " OPEN FILE " + input + "\n"
      " Check for any missing data\n"
      " RH data missing at level:    1000.00000    \n"
      " Calling RH patch.\n"
      " Copying         850  mb to         925  mb.\n"
      " Copying         925  mb to        1000  mb.\n"
      " going to use nsfcfld=           12\n"
      " " + work + std::string(255 - work.size(), ' ') + "\n"
      " ZEPwrk  data ---> " + work + "\n"
      " calling get_fullgds with " + input + "\n"
      " back from get_fullgds\n"
      " writing kgds            0         144          73      -90000           0         128"
      "       90000      357500        2500        2500          64           0           0           0\n"
      " GDS written to " + work + ".gdsinfo\n"
      " past 14 close\n"
      " starting writes to unit1\n"
      " writing these sfc values to the ZEPwrk  file...\n" +
      report_lines(d, 72, 36) + report_lines(d, 108, 54);
  EXPECT_EQ(r.out, expected_log);

  const std::string expected_gdsinfo =
      "          17  => Number of Levels\n"
      " Pressure in Pa\n"
      "   1000.00000    \n   2000.00000    \n   3000.00000    \n   5000.00000    \n"
      "   7000.00000    \n   10000.0000    \n   15000.0000    \n   20000.0000    \n"
      "   25000.0000    \n   30000.0000    \n   40000.0000    \n   50000.0000    \n"
      "   60000.0000    \n   70000.0000    \n   85000.0000    \n   92500.0000    \n"
      "   100000.000    \n"
      "           0 kgds(1)\n         144 kgds(2)\n          73 kgds(3)\n"
      "      -90000 kgds(4)\n           0 kgds(5)\n         128 kgds(6)\n"
      "       90000 kgds(7)\n      357500 kgds(8)\n        2500 kgds(9)\n"
      "        2500 kgds(10)\n          64 kgds(11)\n         255 kgds(12)\n" +
      std::string(kFieldNames);
  const std::string gdsinfo = read_file(work + ".gdsinfo");
  EXPECT_EQ(gdsinfo, expected_gdsinfo);
  EXPECT_EQ(std::count(gdsinfo.begin(), gdsinfo.end(), '\n'), 55);
  EXPECT_EQ(visible_files(dir.file("work")), (std::vector<std::string>{"InputModelInf.txt", "adate.txt"}));
}

TEST(WorkFile, OneLevelGivesSeventeenRecords) {
  TempDir dir;
  DataTime d = make_data_time(3, 2, 1, {500.0f});
  write_data_time(dir.path(), d);
  const RunResult r = run_converter(dir.path(), "in.bin\nx\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto records = read_work_records(dir.file("in.bin.ZEPwrk"), d);
  ASSERT_EQ(records.size(), 17u);
  std::string detail;
  EXPECT_EQ(first_record_difference(records, expected_work_records(d), detail), -1) << detail;
  EXPECT_EQ(read_file(dir.file("in.bin.ZEPwrk.gdsinfo")),
            "           1  => Number of Levels\n Pressure in Pa\n   50000.0000    \n"
            "           0 kgds(1)\n           3 kgds(2)\n           2 kgds(3)\n"
            "      -90000 kgds(4)\n           0 kgds(5)\n         128 kgds(6)\n"
            "       90000 kgds(7)\n      357500 kgds(8)\n        2500 kgds(9)\n"
            "        2500 kgds(10)\n          64 kgds(11)\n         255 kgds(12)\n" +
                std::string(kFieldNames));
}

TEST(WorkFile, TwentySixLevelsInPascalFromTheTop) {
  TempDir dir;
  const std::vector<float> pr{1000, 975, 950, 925, 900, 850, 800, 750, 700, 650, 600, 550, 500,
                              450,  400, 350, 300, 250, 200, 150, 100, 70,  50,  30,  20,  10};
  DataTime d = make_data_time(2, 2, 26, pr);
  d.la1 = 90000;
  d.la2 = -90000;
  d.lo1 = -180000;
  write_data_time(dir.path(), d);
  const RunResult r = run_converter(dir.path(), "in.bin\nx\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string g = read_file(dir.file("in.bin.ZEPwrk.gdsinfo"));
  EXPECT_EQ(g.substr(0, 50), "          26  => Number of Levels\n Pressure in Pa\n");
  EXPECT_EQ(g.substr(50, 18), "   1000.00000    \n");
  EXPECT_NE(g.find("   100000.000    \n           0 kgds(1)\n"), std::string::npos);
  EXPECT_NE(g.find("       90000 kgds(4)\n     -180000 kgds(5)\n         128 kgds(6)\n      -90000 kgds(7)\n"),
            std::string::npos);
  EXPECT_EQ(std::count(g.begin(), g.end(), '\n'), 26 + 38);
  EXPECT_EQ(read_work_records(dir.file("in.bin.ZEPwrk"), d).size(), 5u * 26 + 12);
}

TEST(SurfaceReport, SamplesTheCentreAndThreeQuarterPoints) {
  struct Case {
    int im, jm;
    int i1, j1, i2, j2;
  };
  const Case cases[] = {{2, 2, 1, 1, 1, 1}, {3, 3, 1, 1, 2, 2}, {7, 5, 3, 2, 5, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.im) + "x" + std::to_string(c.jm));
    TempDir dir;
    DataTime d = make_data_time(c.im, c.jm, 1, {850.0f});
    set_distinct_surface(d);
    write_data_time(dir.path(), d);
    const RunResult r = run_converter(dir.path(), "in.bin\nx\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string tail = " writing these sfc values to the ZEPwrk  file...\n" +
                             report_lines(d, c.i1, c.j1) + report_lines(d, c.i2, c.j2);
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  }
}

TEST(SurfaceReport, ShowsAMissingValueAsItStands) {
  TempDir dir;
  DataTime d = make_data_time(4, 4, 1, {850.0f});
  d.at(d.slp, 2, 2, 3) = kMissing;
  write_data_time(dir.path(), d);
  const RunResult r = run_converter(dir.path(), "in.bin\nx\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" field, value            3  -99999.0000    \n"), std::string::npos);
  const auto records = read_work_records(dir.file("in.bin.ZEPwrk"), d);
  EXPECT_EQ(records[5 + 2][1 * 4 + 1], kMissing);
}

TEST(WorkFile, ReplacesLongerOlderOutputsWhole) {
  TempDir dir;
  DataTime d = make_data_time(4, 3, 2, {1000.0f, 850.0f});
  write_data_time(dir.path(), d);
  write_file(dir.file("in.bin.ZEPwrk"), std::string(100000, 'x'));
  write_file(dir.file("in.bin.ZEPwrk.gdsinfo"), std::string(5000, 'y'));
  const RunResult r = run_converter(dir.path(), "in.bin\nx\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(file_bytes(dir.file("in.bin.ZEPwrk")).size(), (5u * 2 + 12) * 4 * 4 * 3);
  const std::string g = read_file(dir.file("in.bin.ZEPwrk.gdsinfo"));
  EXPECT_EQ(g.substr(g.size() - 33), " Soil Moisture layer 4     (0-1)\n");
  EXPECT_EQ(std::count(g.begin(), g.end(), '\n'), 40);
  EXPECT_EQ(g.find("yy"), std::string::npos);
}

TEST(WorkFile, NameFieldsLimitTheInputPathLength) {
  struct Case {
    size_t length;
    int status;
    bool work_created, gdsinfo_created;
  };
  // A work file is complete or absent: when the .gdsinfo cannot be made,
  // the work file begun before it goes too.
  const Case cases[] = {{239, 0, true, true}, {240, 2, false, false}, {247, 2, false, false}, {248, 2, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    TempDir dir;
    const std::string name = "in" + std::string(c.length - 6, 'x') + ".bin";
    ASSERT_EQ(name.size(), c.length);
    DataTime d = make_data_time(2, 2, 1, {850.0f});
    write_data_time(dir.path(), d, name);
    const RunResult r = run_converter(dir.path(), name + "\nx\n");
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(std::ifstream(dir.file(name + ".ZEPwrk")).good(), c.work_created);
    EXPECT_EQ(std::ifstream(dir.file(name + ".ZEPwrk.gdsinfo")).good(), c.gdsinfo_created);
    if (c.status == 0) continue;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.length < 248 ? "cannot create the grid description file" : "cannot create the work file"),
              std::string::npos)
        << r.err;
    // The naming lines still show the whole field and the usable name.
    const std::string field = (name + ".ZEPwrk ").substr(0, 255);
    EXPECT_NE(r.out.find(" " + field + std::string(255 - field.size(), ' ') + "\n"), std::string::npos);
    EXPECT_EQ(all_files(dir.path()).size(), 3u) << "no temporary file is left";
    if (c.length < 248) {
      EXPECT_EQ(r.out.substr(r.out.size() - 19 - name.size() - 8), " ZEPwrk  data ---> " + name + ".ZEPwrk\n");
    } else {
      EXPECT_EQ(r.out.substr(r.out.size() - 20), " ZEPwrk  data ---> \n");
    }
  }
}

TEST(WorkFile, UncreatableOutputNamesTheFile) {
  // The input is reached through a file descriptor, so the output would be
  // created inside /dev/fd, where no file can be made.
  TempDir dir;
  DataTime d = make_data_time(2, 2, 1, {850.0f});
  write_data_time(dir.path(), d);
  const RunResult r = run_converter(dir.path(), "/dev/fd/5\nx\n", "exec 5< in.bin;");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_NE(r.err.find("Input2ModelData: /dev/fd/5.ZEPwrk: cannot create: "), std::string::npos) << r.err;
}

TEST(WorkFile, OutputDirectoryThatNoLongerExists) {
  // The input arrives through a FIFO whose directory is removed while the
  // converter waits for the last four bytes: it then reads everything, but
  // the folder where its outputs belong is gone.
  TempDir dir;
  DataTime d = make_data_time(3, 2, 1, {850.0f});
  write_data_time(dir.path(), d, "data.bin");
  const std::string command =
      "mkdir gone && mkfifo gone/in.bin && { '" INPUT2MODELDATA_PATH "' < .stdin & "
      "{ head -c -4 data.bin; rm -rf gone; tail -c 4 data.bin; } > gone/in.bin; wait $!; }";
  const RunResult r = run_command(dir.path(), command, "gone/in.bin\nx\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Input2ModelData: gone/in.bin.ZEPwrk: cannot create: No such file or directory\n");
  EXPECT_EQ(r.out.substr(r.out.size() - 38), " ZEPwrk  data ---> gone/in.bin.ZEPwrk\n");
}

TEST(WorkFile, OutputNamesThatAreLinksAreWrittenWhereTheyPoint) {
  // An operator links the outputs to another disk: the links stay, and
  // the files they lead to are written whole.
  TempDir dir;
  DataTime d = make_data_time(4, 3, 2, {1000.0f, 850.0f});
  write_data_time(dir.path(), d);
  ASSERT_EQ(::mkdir(dir.file("disk").c_str(), 0755), 0);
  write_file(dir.file("disk/old.gdsinfo"), "an older grid description");
  ASSERT_EQ(::symlink("disk/work.bin", dir.file("in.bin.ZEPwrk").c_str()), 0);
  ASSERT_EQ(::symlink("disk/old.gdsinfo", dir.file("in.bin.ZEPwrk.gdsinfo").c_str()), 0);
  const RunResult r = run_converter(dir.path(), "in.bin\nx\n");
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file("in.bin.ZEPwrk").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::lstat(dir.file("in.bin.ZEPwrk.gdsinfo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(file_bytes(dir.file("disk/work.bin")).size(), (5u * 2 + 12) * 4 * 4 * 3);
  const std::string gdsinfo = read_file(dir.file("disk/old.gdsinfo"));
  EXPECT_EQ(std::count(gdsinfo.begin(), gdsinfo.end(), '\n'), 40);
}

TEST(WorkFile, OutputNamesThatLeadToNoRegularFileAreRefused) {
  // Renaming the new file over what stands there would destroy it: a
  // device (a link to /dev/null, run as root), a FIFO, a folder. The test
  // uses a FIFO and a folder of its own: a device would be at risk.
  struct Case {
    const char* name;
    const char* setup;
    const char* message;
  };
  const Case cases[] = {
      {"link to a FIFO", "mkfifo pipe && ln -s pipe in.bin.ZEPwrk",
       "in.bin.ZEPwrk: cannot write: not a regular file: a FIFO (where its symbolic link leads: pipe)"},
      {"link to a folder", "mkdir place && ln -s place in.bin.ZEPwrk.gdsinfo",
       "in.bin.ZEPwrk.gdsinfo: cannot write: not a regular file: a folder (where its symbolic link leads: place)"},
      {"a FIFO at the name", "mkfifo in.bin.ZEPwrk", "in.bin.ZEPwrk: cannot write: not a regular file: a FIFO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    DataTime d = make_data_time(2, 2, 1, {850.0f});
    write_data_time(dir.path(), d);
    ASSERT_EQ(run_command(dir.path(), c.setup, "").status, 0);
    const RunResult r = run_converter(dir.path(), "in.bin\nx\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("Input2ModelData: ") + c.message + "\n");
    const RunResult left = run_command(dir.path(), "ls -A | grep -c part || true", "");
    EXPECT_EQ(left.out, "0\n") << "a temporary file left";
  }
}

TEST(WorkFile, DirectoryWithoutWritePermission) {
  if (std::system("command -v setpriv > /dev/null 2>&1") != 0) GTEST_SKIP() << "setpriv not installed";
  TempDir dir;
  DataTime d = make_data_time(2, 2, 1, {850.0f});
  write_data_time(dir.path(), d);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  // Run as an unprivileged user in a directory it can read but not write.
  const RunResult r = run_converter(dir.path(), "in.bin\nx\n", "setpriv --reuid=65534 --regid=65534 --clear-groups");
  if (r.status == 0 && ::geteuid() != 0) GTEST_SKIP() << "cannot drop privileges here";
  // The build tree may lie where an unprivileged user cannot reach it.
  if (r.status == 126 || r.status == 127) GTEST_SKIP() << "the converter is out of reach of user nobody";
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.err, "Input2ModelData: in.bin.ZEPwrk: cannot create: Permission denied\n");
}

}  // namespace
