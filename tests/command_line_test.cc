// The command lines of every program: one table each of valid lines and of
// bad ones, with the exit status and the first line each prints. Usage
// errors are one line on standard error, "<program>: <reason> (see --help)",
// exit status 2; --help and --version print to standard output, exit 0.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "support/data_time.h"
#include "support/expected.h"

namespace {

using namespace testing_support;

struct Line {
  const char* arguments;
  int status;
  const char* out_start;  // standard output starts with it ("" for any)
  const char* err;        // the whole of standard error
};

void expect_lines(const std::string& program, const std::string& dir, const std::vector<Line>& lines) {
  for (const Line& l : lines) {
    SCOPED_TRACE(program + " " + l.arguments);
    const RunResult r = run_command(dir, "'" + program + "' " + l.arguments + " < /dev/null");
    EXPECT_EQ(r.status, l.status) << r.out << r.err;
    EXPECT_EQ(r.out.rfind(l.out_start, 0), 0u) << r.out;
    EXPECT_EQ(r.err, l.err);
  }
}

class CommandLines : public ::testing::Test {
 protected:
  void SetUp() override {
    write_data_time(dir.path(), make_data_time(4, 3, 2, {1000.0f, 850.0f}));
    ASSERT_EQ(run_converter(dir.path(), "in.bin\nx\n").status, 0);
  }
  TempDir dir;
};

TEST_F(CommandLines, Input2ModelData) {
  expect_lines(INPUT2MODELDATA_PATH, dir.path(),
               {
                   {"--version", 0, "Input2ModelData " I2M_VERSION "\n", ""},
                   {"--help", 0, "Converts one data time", ""},
                   {"--frob", 2, "", "Input2ModelData: The following argument was not expected: --frob (see --help)\n"},
                   {"in.bin", 2, "", "Input2ModelData: The following argument was not expected: in.bin (see --help)\n"},
               });
  // --version reads no standard input and converts nothing.
  std::remove(dir.file("in.bin.ZEPwrk").c_str());
  const RunResult r = run_command(dir.path(), "'" INPUT2MODELDATA_PATH "' --version", "in.bin\nx\n");
  EXPECT_EQ(r.out, "Input2ModelData " I2M_VERSION "\n");
  EXPECT_EQ(visible_files(dir.path()), (std::vector<std::string>{"InputModelInf.txt", "adate.txt", "in.bin", "in.bin.ZEPwrk.gdsinfo"}));
}

TEST_F(CommandLines, InspectWorkFile) {
  expect_lines(INSPECT_WORK_FILE_PATH, dir.path(),
               {
                   {"--version", 0, "inspect_work_file " I2M_VERSION "\n", ""},
                   {"--help", 0, "Reads WORK_FILE", ""},
                   {"summary --help", 0, "One line per record", ""},
                   {"summary in.bin.ZEPwrk", 0, "work file in.bin.ZEPwrk: 4 x 3 points", ""},
                   {"in.bin.ZEPwrk summary", 0, "work file in.bin.ZEPwrk: 4 x 3 points", ""},
                   {"ctl in.bin.ZEPwrk --time 2024010112", 0, "wrote in.bin.ZEPwrk.ctl\n", ""},
                   {"in.bin.ZEPwrk png t:850 --output t.png", 0, "wrote t.png: record 10, Temperature at 850 hPa (K), 4 x 3 points", ""},
                   {"png in.bin.ZEPwrk t:850 --time 2024010112 --range 270/290 --svg", 0,
                    "wrote in.bin.ZEPwrk.t_850.svg: record 10, Temperature at 850 hPa (K), 2024-01-01 12 UTC, 4 x 3 points", ""},
                   {"report in.bin.ZEPwrk --out season --threads 2", 0, "wrote season/index.html: 1 data time, 0 not ready\n", ""},
                   {"png in.bin.ZEPwrk t:850 --range 290/270", 2, "",
                    "inspect_work_file: --range: expected two numbers MIN/MAX with MIN < MAX (see --help)\n"},
                   {"report in.bin.ZEPwrk", 2, "", "inspect_work_file: --out is required (see --help)\n"},
                   {"report in.bin.ZEPwrk --out season --threads 0", 2, "",
                    "inspect_work_file: --threads: Value 0 not in range 1 to 256 (see --help)\n"},
                   {"report in.bin.ZEPwrk --out season --thumbnails t:123", 2, "",
                    "inspect_work_file: --thumbnails: no work file holds the record \"t:123\"\n"},
                   {"", 2, "", "inspect_work_file: A subcommand is required (see --help)\n"},
                   {"summary", 2, "", "inspect_work_file: WORK_FILE is required (see --help)\n"},
                   {"png in.bin.ZEPwrk", 2, "", "inspect_work_file: RECORD is required (see --help)\n"},
                   {"ctl in.bin.ZEPwrk --time 2024130100", 2, "", "inspect_work_file: --time: month 13 does not exist (see --help)\n"},
                   {"ctl in.bin.ZEPwrk --time", 2, "", "inspect_work_file: --time: 1 required YYYYMMDDHH missing (see --help)\n"},
                   {"summary in.bin.ZEPwrk --frob", 2, "", "inspect_work_file: The following argument was not expected: --frob (see --help)\n"},
               });
}

TEST_F(CommandLines, MakeDataTime) {
  expect_lines(MAKE_DATA_TIME_PATH, dir.path(),
               {
                   {"--version", 0, "make_data_time " I2M_VERSION "\n", ""},
                   {"--im 3 --jm 2 --lm 1 --name one.bin --missing rh:1 --marker slp:2:1:1", 0, "", ""},
                   {"--im 1", 2, "", "make_data_time: --im: Value 1 not in range 2 to 1048576 (see --help)\n"},
                   {"--lm x", 2, "", "make_data_time: --lm: Value x not in range 1 to 1000 (see --help)\n"},
                   {"--missing xx:1", 2, "", "make_data_time: --missing: expected FIELD:LEVEL with FIELD one of ht rh q tp uw vw slp (see --help)\n"},
                   {"--lm 2 --levels 1000", 2, "", "make_data_time: --levels must list lm (2) pressures (see --help)\n"},
                   {"--levels 1000,-5 --lm 2", 2, "", "make_data_time: --levels: -5 is not a positive number (see --help)\n"},
               });
}

TEST_F(CommandLines, ImportDataTimes) {
  const std::string sample = std::string(SOURCE_DIR) + "/examples/gfs/gfs_2p5deg_subset.grib2";
  expect_lines(IMPORT_DATA_TIMES_PATH, dir.path(),
               {
                   {"--version", 0, "import_data_times " I2M_VERSION "\n", ""},
                   {"--help", 0, "Turns GRIB", ""},
                   {("--list --levels 850,500 --area 60/-20/30/40 --model GFS25 '" + sample + "'").c_str(), 0, "", ""},
                   {"", 2, "", "import_data_times: FILE is required (see --help)\n"},
                   {"--area 10/0/20/5 x.grib", 2, "", "import_data_times: --area: an area is N/W/S/E in degrees, with -90 <= S <= N <= 90 (see --help)\n"},
                   {"--area 1/2/3 x.grib", 2, "", "import_data_times: --area: an area is N/W/S/E in degrees, with -90 <= S <= N <= 90 (see --help)\n"},
                   {"--levels 850,-5 x.grib", 2, "", "import_data_times: --levels: -5 is not a positive number (see --help)\n"},
                   {"--model 'two words' x.grib", 2, "", "import_data_times: --model: a model name has 1 to 20 letters, digits, '.', '_' or '-' (see --help)\n"},
                   {"--frob x.grib", 2, "", "import_data_times: The following argument was not expected: --frob (see --help)\n"},
               });
}

}  // namespace
