// The bundled sample data time: the generator still writes it byte for
// byte, and converting it gives the run the README shows.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/data_time.h"
#include "support/picture_check.h"

namespace {

using namespace testing_support;

const std::string kSample = std::string(SOURCE_DIR) + "/examples/sample/";

TEST(Sample, GeneratorReproducesTheBundledDataTime) {
  TempDir dir;
  const RunResult r = run_command(dir.path(), std::string("'") + MAKE_DATA_TIME_PATH +
                                                  "' --im 144 --jm 73 --lm 17 --seed 1 --missing rh:1 --missing rh:2");
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"in.bin", "InputModelInf.txt", "adate.txt"}) {
    EXPECT_TRUE(file_bytes(dir.file(name)) == file_bytes(kSample + name)) << name;
  }
}

TEST(Sample, ConvertsWithTheRelativeHumidityPatch) {
  TempDir dir;
  for (const char* name : {"in.bin", "InputModelInf.txt", "adate.txt"}) {
    write_file(dir.file(name), read_file(kSample + name));
  }
  const RunResult r = run_converter(dir.path(), "in.bin\nsample run\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" Copying         850  mb to         925  mb.\n Copying         925  mb to        1000  mb.\n"),
            std::string::npos);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 43);
  EXPECT_EQ(file_bytes(dir.file("in.bin.ZEPwrk")).size(), 4078656u);
  const std::string g = read_file(dir.file("in.bin.ZEPwrk.gdsinfo"));
  EXPECT_EQ(std::count(g.begin(), g.end(), '\n'), 55);

  // Its picture: no date in the file name, so none in the title.
  const RunResult png = run_command(dir.path(), "'" INSPECT_WORK_FILE_PATH "' png in.bin.ZEPwrk t:850 --output t.png");
  ASSERT_EQ(png.status, 0) << png.err;
  const DrawnPicture drawn = parse_png_line(png.out);
  EXPECT_EQ(drawn.title, "Temperature at 850 hPa (K), 144 x 73 points") << png.out;
  EXPECT_EQ(drawn.missing, 0);
  const Decoded picture = decode_png(dir.file("t.png"));
  EXPECT_EQ(picture.width, drawn.width);
  EXPECT_EQ(picture.height, drawn.height);
  if (have_ocr()) {
    const std::vector<std::string> words = ocr_words(dir.file("t.png"));
    for (const char* w : {"Temperature", "850", "hPa", "144", "73", "points"}) {
      EXPECT_NE(std::find(words.begin(), words.end(), w), words.end()) << w;
    }
  }
}

TEST(Sample, UnwritableLogFailsTheRun) {
  TempDir dir;
  write_data_time(dir.path(), make_data_time(2, 2, 1, {850.0f}));
  const RunResult r = run_command(dir.path(), std::string("'") + INPUT2MODELDATA_PATH + "' > /dev/full", "in.bin\nx\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Input2ModelData: standard output: cannot write the log\n");
}

}  // namespace
