// End-to-end runs of the converter on the variants of standard input, run
// control file, date file and input record file that can break a run.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/expected.h"

namespace {

using namespace testing_support;

// The log of a clean run of the 4 x 3 x 2 data time below, path "in.bin".
const std::string kHead =
    " using hardwired stuff!            4           3           2\n"
    "   1000.00000       850.000000    \n"
    " TESTMODEL\n";

bool one_diagnostic_line(const RunResult& r) {
  return r.err.rfind("Input2ModelData: ", 0) == 0 &&
         std::count(r.err.begin(), r.err.end(), '\n') == 1;
}

class ConverterRun : public ::testing::Test {
 protected:
  void SetUp() override {
    data = make_data_time(4, 3, 2, {1000.0f, 850.0f});
    write_data_time(dir.path(), data);
  }
  RunResult run(const std::string& stdin_text) { return run_converter(dir.path(), stdin_text); }
  std::vector<std::vector<float>> work() { return read_work_records(dir.file("in.bin.ZEPwrk"), data); }
  void expect_clean_conversion(const RunResult& r) {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.substr(0, kHead.size() + 18), kHead + " OPEN FILE in.bin\n");
    std::string detail;
    EXPECT_EQ(first_record_difference(work(), expected_work_records(data), detail), -1) << detail;
  }
  void expect_file_failure(const RunResult& r, const std::string& stdout_text, const std::string& names) {
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, stdout_text);
    EXPECT_TRUE(one_diagnostic_line(r)) << r.err;
    EXPECT_NE(r.err.find(names), std::string::npos) << r.err;
  }

  TempDir dir;
  DataTime data;
};

TEST_F(ConverterRun, ConvertsACleanDataTime) {
  const RunResult r = run("in.bin\nanything\n");
  expect_clean_conversion(r);
  EXPECT_EQ(visible_files(dir.path()),
            (std::vector<std::string>{"InputModelInf.txt", "adate.txt", "in.bin", "in.bin.ZEPwrk",
                                      "in.bin.ZEPwrk.gdsinfo"}));
}

TEST_F(ConverterRun, AcceptsStandardInputVariants) {
  const std::string long_tail = "in.bin" + std::string(260, ' ') + "tail";
  const char* const second_lines[] = {"\n", "x\n", "x", "two words here\n"};
  for (const char* second : second_lines) {
    SCOPED_TRACE(second);
    expect_clean_conversion(run(std::string("in.bin\n") + second));
  }
  expect_clean_conversion(run("in.bin   a remark\nx\n"));
  expect_clean_conversion(run(long_tail + "\nx\n"));
}

TEST_F(ConverterRun, FailsWithoutTwoStandardInputLines) {
  const std::string long_line = "in.bin" + std::string(260, ' ') + "looks like a second line";
  for (const std::string& input : {std::string(""), std::string("in.bin\n"), std::string("in.bin"), long_line + "\n"}) {
    SCOPED_TRACE(input);
    expect_file_failure(run(input), "", "standard input");
    EXPECT_FALSE(std::ifstream(dir.file("in.bin.ZEPwrk")).good());
  }
}

TEST_F(ConverterRun, EmptyInputPathFailsAfterTheFirstLogLines) {
  const std::string no_blank(255, 'a');
  for (const std::string& line1 : {std::string(" in.bin"), no_blank, no_blank + " in.bin"}) {
    SCOPED_TRACE(line1);
    const RunResult r = run(line1 + "\nx\n");
    expect_file_failure(r, kHead + " OPEN FILE \n", "cannot open");
  }
}

TEST_F(ConverterRun, ReadsFreeFormControlFiles) {
  struct Case {
    const char* name;
    std::string text;
    std::string l2;  // expected level line
  };
  const std::string grid = "0\n-90000\n0\n90000\n357500\n2500\n2500\n";
  const Case cases[] = {
      {"commas", "TESTMODEL\n4,3,2\n" + grid + "1000\n850\n", "   1000.00000       850.000000    \n"},
      {"spread over lines", "TESTMODEL\n4 3\n2\n" + grid + "1000\n850\n", "   1000.00000       850.000000    \n"},
      {"extra number", "TESTMODEL\n4 3 2 99\n" + grid + "1000\n850\n", "   1000.00000       850.000000    \n"},
      {"two levels on a line", "TESTMODEL\n4 3 2\n" + grid + "1000 925\n850\n", "   1000.00000       850.000000    \n"},
      {"exponents", "TESTMODEL\n4 3 2\n" + grid + "1.0e3\n8.5D2\n", "   1000.00000       850.000000    \n"},
      {"blanks and commas", "TESTMODEL\n 4 , 3 ,2\n" + grid + "+1000.\n85000e-2 x\n", "   1000.00000       850.000000    \n"},
      {"comma opening a continuation line", "TESTMODEL\n4 3\n,2\n" + grid + "1000\n850\n",
       "   1000.00000       850.000000    \n"},
      {"comma closing a line", "TESTMODEL\n4 3 ,\n2\n" + grid + "1000\n850\n", "   1000.00000       850.000000    \n"},
      {"CRLF line ends", "TESTMODEL\r\n4 3 2\r\n0\r\n-90000\r\n0\r\n90000\r\n357500\r\n2500\r\n2500\r\n1000\r\n850\r\n",
       "   1000.00000       850.000000    \n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(dir.file("InputModelInf.txt"), c.text);
    const RunResult r = run("in.bin\nx\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, kHead.size()), kHead);
  }
}

TEST_F(ConverterRun, TakesOneLevelPerLine) {
  // With lm = 3 and three levels on line 10, pr(2) and pr(3) come from lines 11 and 12.
  DataTime d = make_data_time(4, 3, 3, {1000.0f, 700.0f, 500.0f});
  write_data_time(dir.path(), d);
  write_file(dir.file("InputModelInf.txt"),
             "TESTMODEL\n4 3 3\n0\n-90000\n0\n90000\n357500\n2500\n2500\n1000 925 850\n700\n500\n");
  const RunResult r = run("in.bin\nx\n");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string expected =
      " using hardwired stuff!            4           3           3\n"
      "   1000.00000       700.000000       500.000000    \n"
      " TESTMODEL\n"
      " OPEN FILE in.bin\n";
  EXPECT_EQ(r.out.substr(0, expected.size()), expected);
}

TEST_F(ConverterRun, LogsTheModelNameUpToItsFirstBlank) {
  struct Case {
    const char* line1;
    const char* l3;
  };
  const Case cases[] = {
      {"ERA5 reanalysis", " ERA5\n"},
      {"ABCDEFGHIJKLMNOPQRST", " \n"},
      {"ABCDEFGHIJKLMNOPQRSTUVW X", " \n"},
      {"", " \n"},
      {"SHORT", " SHORT\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line1);
    data.model_name = c.line1;
    write_file(dir.file("InputModelInf.txt"), control_text(data));
    const RunResult r = run("in.bin\nx\n");
    EXPECT_EQ(r.status, 0);
    const size_t l3 = r.out.find('\n', r.out.find('\n') + 1) + 1;
    EXPECT_EQ(r.out.substr(l3, std::string(c.l3).size()), c.l3);
  }
}

TEST_F(ConverterRun, RejectsMalformedControlFiles) {
  const std::string grid = "0\n-90000\n0\n90000\n357500\n2500\n2500\n";
  const std::string cases[] = {
      "TESTMODEL\n4 x 2\n" + grid + "1000\n850\n",       // a letter
      "TESTMODEL\n4.0 3 2\n" + grid + "1000\n850\n",     // a real for an integer
      "TESTMODEL\n4 3 2\n" + grid + "1000\n",            // too few level lines
      "TESTMODEL\n4 3 2\n0\n-90000\n",                   // too few grid lines
      "TESTMODEL\n4 3 2\n" + grid + "1000\nabc\n",       // a word for a real
      "TESTMODEL\n4 3 2\n" + grid + "1000\n1e39\n",      // beyond single precision
      "TESTMODEL\n4 3 2\n" + grid + "1000\n,850\n",      // an empty value
      "TESTMODEL\n4 3 ,\n,2\n" + grid + "1000\n850\n",   // two commas with a line end between
      "TESTMODEL\n4 3 , ,2\n" + grid + "1000\n850\n",     // two commas with a blank between
      "TESTMODEL\n4 3 2\n0\n99999999999\n",              // beyond 32 bits
      "",                                                // empty
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    write_file(dir.file("InputModelInf.txt"), text);
    expect_file_failure(run("in.bin\nx\n"), "", "./InputModelInf.txt");
  }
  std::remove(dir.file("InputModelInf.txt").c_str());
  expect_file_failure(run("in.bin\nx\n"), "", "./InputModelInf.txt: cannot open");
}

TEST_F(ConverterRun, RejectsGridsTheFilesCannotHold) {
  const char* const sizes[] = {"1 3 2", "4 1 2", "4 3 0", "-4 3 2", "32768 16384 1", "536870912 1 1"};
  for (const char* size : sizes) {
    SCOPED_TRACE(size);
    write_file(dir.file("InputModelInf.txt"),
               std::string("TESTMODEL\n") + size + "\n0\n-90000\n0\n90000\n357500\n2500\n2500\n1000\n850\n");
    expect_file_failure(run("in.bin\nx\n"), "", "InputModelInf.txt: grid rejected");
  }
}

TEST_F(ConverterRun, DateFileIsReadButNotUsed) {
  const std::string reference = read_file(dir.file("in.bin.ZEPwrk"));  // absent before the first run
  EXPECT_EQ(reference, "");
  for (const char* date : {"19990101", "2024010100 trailing words", "'a quoted, date'\n", "\n\n  x,y\n"}) {
    SCOPED_TRACE(date);
    write_file(dir.file("adate.txt"), date);
    expect_clean_conversion(run("in.bin\nx\n"));
  }
}

TEST_F(ConverterRun, FailsOnAnAbsentOrEmptyDateFileAfterTheFirstLines) {
  std::remove(dir.file("adate.txt").c_str());
  expect_file_failure(run("in.bin\nx\n"), kHead, "./adate.txt");
  EXPECT_TRUE(std::ifstream(dir.file("adate.txt")).good()) << "an absent date file is created empty";
  write_file(dir.file("adate.txt"), "   \n");
  expect_file_failure(run("in.bin\nx\n"), kHead, "./adate.txt");
}

TEST_F(ConverterRun, AcceptsLongerAndExtraRecords) {
  std::vector<RecordShape> records = record_shapes(data);
  for (RecordShape& r : records) {
    r.payload.insert(r.payload.end(), {1, 2, 3, 4, 5, 6, 7, 8});
    r.leading = r.trailing = static_cast<int32_t>(r.payload.size());
  }
  records.push_back(records.front());
  records.push_back({0, 0, {}});
  write_records(dir.file("in.bin"), records);
  expect_clean_conversion(run("in.bin\nx\n"));
}

TEST_F(ConverterRun, RejectsDamagedInputFiles) {
  const std::vector<RecordShape> good = record_shapes(data);
  struct Case {
    const char* name;
    std::function<void(std::vector<RecordShape>&)> damage;
    const char* diagnostic;
  };
  const Case cases[] = {
      {"one record too few", [](auto& r) { r.pop_back(); }, "end of file before record 24"},
      {"no records", [](auto& r) { r.clear(); }, "end of file before record 1"},
      {"short record", [](auto& r) { r[4].payload.resize(40); r[4].leading = r[4].trailing = 40; },
       "record 5: holds 40 bytes, a field needs 48"},
      {"trailing marker differs", [](auto& r) { r[2].trailing = 47; },
       "record 3: trailing length marker 47 does not match leading marker 48"},
      {"negative marker", [](auto& r) { r[7].leading = -48; }, "record 8: negative length marker"},
      {"marker claims more than the file", [](auto& r) { r.back().leading = 4800; }, "record 24"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<RecordShape> records = good;
    c.damage(records);
    write_records(dir.file("in.bin"), records);
    expect_file_failure(run("in.bin\nx\n"), kHead + " OPEN FILE in.bin\n", std::string("in.bin: ") + c.diagnostic);
  }
}

TEST_F(ConverterRun, EveryTruncationOfTheInputFailsCleanly) {
  const std::vector<unsigned char> bytes = file_bytes(dir.file("in.bin"));
  for (size_t length = 0; length < bytes.size(); length += 1 + length / 7) {
    write_file(dir.file("in.bin"), std::string(bytes.begin(), bytes.begin() + static_cast<long>(length)));
    const RunResult r = run("in.bin\nx\n");
    ASSERT_EQ(r.status, 2) << "cut at " << length;
    ASSERT_TRUE(one_diagnostic_line(r)) << r.err;
  }
}

TEST_F(ConverterRun, MissingInputFileFailsAfterTheOpenLine) {
  expect_file_failure(run("nothere.bin\nx\n"), kHead + " OPEN FILE nothere.bin\n",
                      "nothere.bin: cannot open: No such file or directory");
}

}  // namespace
