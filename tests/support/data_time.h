// Test helpers: a data time held in plain vectors, written out as the
// converter's input files (optionally damaged), and a runner for the real
// executable in a temporary working directory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

inline constexpr float kInputMissing = 9.999e20f;
inline constexpr float kMissing = -99999.0f;

// A fresh directory, removed with everything in it when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// One data time, fields in input-file order, each level im*jm values with
// the west-east index fastest.
struct DataTime {
  int im = 0, jm = 0, lm = 0;
  std::vector<float> pr;
  std::vector<float> ht, rh, q, tp, uw, vw, slp;
  std::string model_name = "TESTMODEL";
  int grid_type = 0, la1 = -90000, lo1 = 0, la2 = 90000, lo2 = 357500, di = 2500, dj = 2500;

  size_t points() const { return static_cast<size_t>(im) * jm; }
  // Value (i, j) of level k (all 1-based) of a 3-D field or slice k of slp.
  float& at(std::vector<float>& f, int i, int j, int k) const {
    return f[(static_cast<size_t>(k) - 1) * points() + (static_cast<size_t>(j) - 1) * im + (i - 1)];
  }
  float* level(std::vector<float>& f, int k) const { return f.data() + (static_cast<size_t>(k) - 1) * points(); }
};

// A smooth, plausible data time with no missing values. pr defaults to lm
// levels from 1000 hPa upward.
DataTime make_data_time(int im, int jm, int lm, std::vector<float> pr = {});

// The input records in file order: 6 lm + 12 payloads.
std::vector<std::vector<float>> input_records(const DataTime& d);

// How to write one record: the payload bytes written, and the two markers.
struct RecordShape {
  int32_t leading;
  int32_t trailing;
  std::vector<unsigned char> payload;
};
std::vector<RecordShape> record_shapes(const DataTime& d);
void write_records(const std::string& path, const std::vector<RecordShape>& records);
std::vector<unsigned char> file_bytes(const std::string& path);
void write_file(const std::string& path, const std::string& text);
std::string read_file(const std::string& path);

// The run control file text as an operator would write it.
std::string control_text(const DataTime& d);

// Writes in.bin, InputModelInf.txt and adate.txt into `dir`.
void write_data_time(const std::string& dir, const DataTime& d, const std::string& input_name = "in.bin");

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the converter with `dir` as working directory and `stdin_text` on
// its standard input. `shell_prefix` goes before the command (e.g. ulimit).
RunResult run_converter(const std::string& dir, const std::string& stdin_text,
                        const std::string& shell_prefix = "");

// Runs import_data_times with `arguments` (as the shell splits them) in `dir`.
RunResult run_importer(const std::string& dir, const std::string& arguments);

// Runs any command line in `dir`, capturing both streams.
RunResult run_command(const std::string& dir, const std::string& command, const std::string& stdin_text = "");

// The work file as records of im*jm floats.
std::vector<std::vector<float>> read_work_records(const std::string& path, const DataTime& d);

// Exact comparison, NaN equal to NaN of the same bits.
bool same_bits(float a, float b);

}  // namespace testing_support
