#include "support/data_time.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "i2m-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

DataTime make_data_time(int im, int jm, int lm, std::vector<float> pr) {
  DataTime d;
  d.im = im;
  d.jm = jm;
  d.lm = lm;
  if (pr.empty()) {
    for (int k = 0; k < lm; ++k) pr.push_back(1000.0f - 50.0f * static_cast<float>(k));
  }
  d.pr = pr;
  const size_t n3 = d.points() * lm;
  d.ht.resize(n3);
  d.rh.resize(n3);
  d.q.resize(n3);
  d.tp.resize(n3);
  d.uw.resize(n3);
  d.vw.resize(n3);
  d.slp.resize(d.points() * 12);
  for (int k = 1; k <= lm; ++k) {
    for (int j = 1; j <= jm; ++j) {
      for (int i = 1; i <= im; ++i) {
        const float fi = static_cast<float>(i), fj = static_cast<float>(j), fk = static_cast<float>(k);
        // Near the standard atmosphere's height of the level, as real heights are.
        d.at(d.ht, i, j, k) = 44330.8f * (1.0f - std::pow(d.pr[k - 1] / 1013.25f, 0.190263f)) + 0.5f * fi + 0.25f * fj;
        d.at(d.rh, i, j, k) = 10.0f + static_cast<float>((i * 7 + j * 13 + k * 3) % 90);
        d.at(d.q, i, j, k) = 0.001f * fk;
        d.at(d.tp, i, j, k) = 290.0f - 5.0f * fk + 0.01f * fi - 0.02f * fj;
        d.at(d.uw, i, j, k) = 5.0f + fk - 0.1f * fi;
        d.at(d.vw, i, j, k) = -3.0f + 0.2f * fj;
      }
    }
  }
  for (int n = 1; n <= 12; ++n) {
    for (int j = 1; j <= jm; ++j) {
      for (int i = 1; i <= im; ++i) {
        float v = 0.0f;
        switch (n) {
          case 1: v = (i + j) % 3 == 0 ? 0.0f : 1.0f; break;
          case 2: v = 1010.0f + static_cast<float>(i % 5); break;
          case 3: v = 990.0f - static_cast<float>(j % 7); break;
          case 4: v = 10.0f * static_cast<float>(i + j); break;
          default: v = n % 2 == 1 ? 280.0f + static_cast<float>(n) : 0.05f * static_cast<float>(n);
        }
        d.at(d.slp, i, j, n) = v;
      }
    }
  }
  return d;
}

std::vector<std::vector<float>> input_records(const DataTime& d) {
  std::vector<std::vector<float>> records;
  const size_t n = d.points();
  for (const std::vector<float>* f : {&d.ht, &d.rh, &d.q, &d.tp, &d.uw, &d.vw}) {
    for (int k = 0; k < d.lm; ++k) records.emplace_back(f->begin() + k * n, f->begin() + (k + 1) * n);
  }
  for (int s = 0; s < 12; ++s) records.emplace_back(d.slp.begin() + s * n, d.slp.begin() + (s + 1) * n);
  return records;
}

std::vector<RecordShape> record_shapes(const DataTime& d) {
  std::vector<RecordShape> shapes;
  for (const auto& r : input_records(d)) {
    RecordShape s;
    s.payload.resize(r.size() * 4);
    std::memcpy(s.payload.data(), r.data(), s.payload.size());
    s.leading = s.trailing = static_cast<int32_t>(s.payload.size());
    shapes.push_back(std::move(s));
  }
  return shapes;
}

void write_records(const std::string& path, const std::vector<RecordShape>& records) {
  std::ofstream out(path, std::ios::binary);
  for (const RecordShape& r : records) {
    out.write(reinterpret_cast<const char*>(&r.leading), 4);
    out.write(reinterpret_cast<const char*>(r.payload.data()), static_cast<std::streamsize>(r.payload.size()));
    out.write(reinterpret_cast<const char*>(&r.trailing), 4);
  }
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<unsigned char> file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string control_text(const DataTime& d) {
  std::ostringstream s;
  s << d.model_name << "\n" << d.im << " " << d.jm << " " << d.lm << "\n"
    << d.grid_type << "\n" << d.la1 << "\n" << d.lo1 << "\n" << d.la2 << "\n"
    << d.lo2 << "\n" << d.di << "\n" << d.dj << "\n";
  char buffer[64];
  for (float p : d.pr) {
    std::snprintf(buffer, sizeof buffer, "%.9g\n", static_cast<double>(p));
    s << buffer;
  }
  return s.str();
}

void write_data_time(const std::string& dir, const DataTime& d, const std::string& input_name) {
  write_records(dir + "/" + input_name, record_shapes(d));
  write_file(dir + "/InputModelInf.txt", control_text(d));
  write_file(dir + "/adate.txt", "20240101\n");
}

RunResult run_command(const std::string& dir, const std::string& command, const std::string& stdin_text) {
  write_file(dir + "/.stdin", stdin_text);
  const std::string line = "cd '" + dir + "' && { " + command + " ; } < .stdin > .stdout 2> .stderr";
  const int raw = std::system(line.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.out = read_file(dir + "/.stdout");
  r.err = read_file(dir + "/.stderr");
  std::remove((dir + "/.stdin").c_str());
  std::remove((dir + "/.stdout").c_str());
  std::remove((dir + "/.stderr").c_str());
  return r;
}

RunResult run_converter(const std::string& dir, const std::string& stdin_text, const std::string& shell_prefix) {
  return run_command(dir, shell_prefix + " '" INPUT2MODELDATA_PATH "'", stdin_text);
}

RunResult run_importer(const std::string& dir, const std::string& arguments) {
  return run_command(dir, "'" IMPORT_DATA_TIMES_PATH "' " + arguments);
}

std::vector<std::vector<float>> read_work_records(const std::string& path, const DataTime& d) {
  const std::vector<unsigned char> bytes = file_bytes(path);
  const size_t record = d.points() * 4;
  std::vector<std::vector<float>> records;
  for (size_t off = 0; off + record <= bytes.size(); off += record) {
    std::vector<float> r(d.points());
    std::memcpy(r.data(), bytes.data() + off, record);
    records.push_back(std::move(r));
  }
  return records;
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace testing_support
