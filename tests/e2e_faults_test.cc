// Faults that can hit a real run from outside: a disk that is full or fills
// up while an output is written, inputs that end in the middle of a record,
// files that cannot be read, storage that cannot be had. Each must end with
// its exit status, one diagnostic line naming the file and the reason, and
// no output that could pass for a complete one.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/expected.h"

namespace {

using namespace testing_support;

constexpr const char* kInputFiles[] = {"InputModelInf.txt", "adate.txt", "in.bin"};

std::vector<std::string> input_files_only() { return {std::begin(kInputFiles), std::end(kInputFiles)}; }

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Runs the converter with every file it writes held to `kib` KiB, as a disk
// that fills up would hold it; its log goes through a pipe, so it is not
// held. Writes beyond the limit fail with EFBIG instead of killing the run.
RunResult run_with_file_size_limit(const std::string& dir, int kib) {
  const std::string inner = "trap \"\" XFSZ; ulimit -f " + std::to_string(kib) + "; exec \"" INPUT2MODELDATA_PATH "\"";
  return run_command(dir, "bash -c 'set -o pipefail; (" + inner + ") | cat'", "in.bin\nx\n");
}

TEST(Faults, DiskFillingUpWhileAnOutputIsWrittenKeepsThePreviousOutputs) {
  struct Case {
    const char* name;
    int im, jm, lm;
    int limit_kib;
    const char* diagnostic;
    const char* last_log_line;
  };
  // 40 x 20 x 3: 27 records of 3200 bytes, the .gdsinfo about 1.3 KB.
  // 4 x 3 x 26: the .gdsinfo alone is over 2 KB.
  const Case cases[] = {
      {"inside the work file", 40, 20, 3, 8, "in.bin.ZEPwrk: cannot write: File too large", " starting writes to unit1\n"},
      {"inside the .gdsinfo file", 4, 3, 26, 1, "in.bin.ZEPwrk.gdsinfo: cannot write: File too large",
       " GDS written to in.bin.ZEPwrk.gdsinfo\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    // The outputs of an earlier data time of the same grid stand there.
    DataTime earlier = make_data_time(c.im, c.jm, c.lm);
    for (float& t : earlier.tp) t += 1.0f;
    write_data_time(dir.path(), earlier);
    ASSERT_EQ(run_converter(dir.path(), "in.bin\nx\n").status, 0);
    const std::vector<unsigned char> work = file_bytes(dir.file("in.bin.ZEPwrk"));
    const std::string gdsinfo = read_file(dir.file("in.bin.ZEPwrk.gdsinfo"));
    write_data_time(dir.path(), make_data_time(c.im, c.jm, c.lm));
    const RunResult r = run_with_file_size_limit(dir.path(), c.limit_kib);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("Input2ModelData: ") + c.diagnostic + "\n");
    EXPECT_TRUE(ends_with(r.out, c.last_log_line)) << r.out;
    EXPECT_TRUE(file_bytes(dir.file("in.bin.ZEPwrk")) == work);
    EXPECT_EQ(read_file(dir.file("in.bin.ZEPwrk.gdsinfo")), gdsinfo);
    // Nothing is left of the new outputs, under any name.
    EXPECT_EQ(all_files(dir.path()),
              (std::vector<std::string>{"InputModelInf.txt", "adate.txt", "in.bin", "in.bin.ZEPwrk", "in.bin.ZEPwrk.gdsinfo"}));
  }
}

TEST(Faults, InputsThatCannotBeReadLeaveNoOutputs) {
  const DataTime d = make_data_time(4, 3, 2, {1000.0f, 850.0f});
  const size_t record = 4 + 4 * 12 + 4;  // leading marker, 12 values, trailing marker
  struct Case {
    const char* name;
    std::string prepare;  // shell commands run in the directory first
    const char* diagnostic;
  };
  const Case cases[] = {
      {"cut inside the length marker of record 2", "truncate -s " + std::to_string(record + 2) + " in.bin",
       "in.bin: record 2: end of file inside its length marker"},
      {"cut inside the values of record 2", "truncate -s " + std::to_string(record + 4 + 20) + " in.bin",
       "in.bin: record 2: end of file inside the record"},
      {"cut inside the trailing marker of the last record",
       "truncate -s " + std::to_string(24 * record - 1) + " in.bin",
       "in.bin: record 24: end of file before its trailing length marker"},
      {"input file is a directory", "rm in.bin && mkdir in.bin", "in.bin: cannot read: Is a directory"},
      // A control or date file that is no regular file would hold the run
      // in its open or its read: refused at once (each run has a time
      // limit, so that a hang fails the test instead of stalling it).
      {"run control file is a directory", "rm InputModelInf.txt && mkdir InputModelInf.txt",
       "./InputModelInf.txt: not a regular file: a folder"},
      {"date file is a directory", "rm adate.txt && mkdir adate.txt", "./adate.txt: not a regular file: a folder"},
      {"run control file is a FIFO nothing writes into", "rm InputModelInf.txt && mkfifo InputModelInf.txt",
       "./InputModelInf.txt: not a regular file: a FIFO"},
      {"date file is a FIFO nothing writes into", "rm adate.txt && mkfifo adate.txt", "./adate.txt: not a regular file: a FIFO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_data_time(dir.path(), d);
    ASSERT_EQ(run_command(dir.path(), c.prepare).status, 0);
    const RunResult r = run_converter(dir.path(), "in.bin\nx\n", "timeout 20");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, std::string("Input2ModelData: ") + c.diagnostic + "\n");
    EXPECT_EQ(visible_files(dir.path()), input_files_only());
  }
}

TEST(Faults, InputWithoutReadPermission) {
  if (std::system("command -v setpriv > /dev/null 2>&1") != 0) GTEST_SKIP() << "setpriv not installed";
  TempDir dir;
  write_data_time(dir.path(), make_data_time(4, 3, 2, {1000.0f, 850.0f}));
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(dir.file("in.bin").c_str(), 0), 0);
  const RunResult r = run_converter(dir.path(), "in.bin\nx\n", "setpriv --reuid=65534 --regid=65534 --clear-groups");
  if (r.status == 126 || r.status == 127) GTEST_SKIP() << "user nobody cannot reach the converter: " << r.err;
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Input2ModelData: in.bin: cannot open: Permission denied\n");
  EXPECT_TRUE(ends_with(r.out, " OPEN FILE in.bin\n")) << r.out;
  EXPECT_EQ(visible_files(dir.path()), input_files_only());
}

bool overcommit_always() {
  std::ifstream f("/proc/sys/vm/overcommit_memory");
  int mode = 0;
  return (f >> mode) && mode == 1;
}

TEST(Faults, StorageThatCannotBeHad) {
  struct Case {
    const char* name;
    const char* grid;
    const char* shell_prefix;
  };
  // The levels are read only after the allocation, so none are written.
  const Case cases[] = {
      // 8192 x 8192 x 10 needs about 22 GB; the address space is held to 1 GB.
      {"address space limit", "8192 8192 10", "ulimit -v 1000000;"},
      // About 1.6 PB: more than any machine can promise.
      {"beyond the machine", "8192 8192 1000000", ""},
      // Each array about 2.3e18 bytes, which a 64-bit count holds; six of
      // them do not fit in one: still storage that cannot be had.
      {"block beyond a 64-bit count", "16384 16383 2147483647", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
#ifdef I2M_SANITIZER_BUILD
    // The sanitizer runtime reserves terabytes of address space at start.
    if (*c.shell_prefix != '\0') continue;
#endif
    // The kernel would promise the 1.6 PB; no kernel can promise 2^63 bytes.
    if (*c.shell_prefix == '\0' && overcommit_always() && std::string(c.grid) == "8192 8192 1000000") continue;
    TempDir dir;
    write_file(dir.file("InputModelInf.txt"),
               std::string("BIG\n") + c.grid + "\n0\n-90000\n0\n90000\n357500\n2500\n2500\n");
    write_file(dir.file("adate.txt"), "2024010100\n");
    const RunResult r = run_converter(dir.path(), "in.bin\nx\n", c.shell_prefix);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("Input2ModelData: ", 0), 0u) << r.err;
    EXPECT_TRUE(ends_with(r.err, ": Allocation would exceed memory limit\n")) << r.err;
  }
}

// The converter reads its input front to back: a stream through a FIFO (a
// decompressed file, say) converts as the file does.
TEST(Faults, AStreamThroughAFifoConvertsAsTheFile) {
  TempDir dir;
  write_data_time(dir.path(), make_data_time(6, 4, 3));
  ASSERT_EQ(run_converter(dir.path(), "in.bin\nx\n").status, 0);
  ASSERT_EQ(run_command(dir.path(), "mkfifo stream.bin && (cat in.bin > stream.bin &)").status, 0);
  const RunResult r = run_converter(dir.path(), "stream.bin\nx\n", "timeout 20");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(file_bytes(dir.file("stream.bin.ZEPwrk")) == file_bytes(dir.file("in.bin.ZEPwrk")));
}

}  // namespace
