#include "import/writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "common/constants.h"
#include "common/failure.h"
#include "common/file_io.h"
#include "common/parallel.h"
#include "common/replacement_file.h"
#include "control/run_control_writer.h"
#include "import/data_time.h"
#include "input/record_writer.h"
#include "thermo/estab.h"
#include "thermo/humidity.h"

namespace i2m {
namespace {

// One worker's storage, allocated once for the whole import: two fields on
// the source grid and three on the written window.
struct Buffers {
  std::vector<float> source_a, source_b;
  std::vector<float> window_a, window_b, result;
};

Buffers make_buffers(const LatLonGrid& grid, const Window& window) {
  const size_t n = static_cast<size_t>(window.im()) * static_cast<size_t>(window.jm());
  return {std::vector<float>(grid.points()), std::vector<float>(grid.points()), std::vector<float>(n),
          std::vector<float>(n), std::vector<float>(n)};
}

int64_t count_missing(const float* values, size_t n) {
  int64_t missing = 0;
  for (size_t p = 0; p < n; ++p) missing += values[p] == input_missing_flag;
  return missing;
}

// Reads one field and returns its points inside the window: the source
// buffer itself when the window is the whole grid, else the cut copy; and
// how many of those the source marked missing.
class FieldReader {
 public:
  FieldReader(const Inventory& inv, const Window& window) : inv_(inv), window_(window) {}

  const float* read(const FieldInfo& f, std::vector<float>& source, std::vector<float>& cut, int64_t& missing) const {
    const size_t in_grid = inv_.sources[static_cast<size_t>(f.source)].reader->read(f, source.data());
    if (window_.whole) {
      missing = static_cast<int64_t>(in_grid);
      return source.data();
    }
    cut_window(window_, inv_.grid.ni, source.data(), cut.data());
    missing = count_missing(cut.data(), cut.size());
    return cut.data();
  }

 private:
  const Inventory& inv_;
  const Window& window_;
};

// Specific humidity from temperature and relative humidity with the
// converter's own table and formula; missing wherever an input is.
void derive_humidity(const float* tp, const float* rh, float pressure_hpa, float* q, size_t n) {
  convert_humidity_level(tp, rh, pressure_hpa, q, n);
  for (size_t p = 0; p < n; ++p) {
    if (tp[p] == input_missing_flag || rh[p] == input_missing_flag) q[p] = input_missing_flag;
  }
}

// Relative humidity from temperature and specific humidity, the exact
// inverse of the converter's q = r (0.00622 e) / (p - e): r = q (p - e) /
// (0.00622 e), with e from the converter's own table and its very
// constant, computed in double and rounded once; missing wherever an input
// is.
void derive_relative_humidity(const float* tp, const float* q, float pressure_hpa, float* rh, size_t n) {
  const double p = pressure_hpa;
  const double factor = static_cast<double>(0.00622f);
  const float* table = saturation_table();
  for (size_t i = 0; i < n; ++i) {
    const double e = table[esat_index(tp[i])];
    rh[i] = static_cast<float>(static_cast<double>(q[i]) * (p - e) / (factor * e));
    if (tp[i] == input_missing_flag || q[i] == input_missing_flag) rh[i] = input_missing_flag;
  }
}

// Writes record r (1-based) of one data time's file; returns the points
// the source marked missing (0 for derived and missing records).
int64_t write_record(const FieldReader& reader, const RecordPlan& plan, int64_t r, Buffers& b, int fd,
                     const std::string& path) {
  const size_t n = b.result.size();
  const float* values = b.result.data();
  int64_t missing = 0;
  switch (plan.kind) {
    case RecordKind::field:
      values = reader.read(*plan.field, b.source_a, b.window_a, missing);
      break;
    case RecordKind::derived_humidity: {
      int64_t ignored = 0;  // a derived field has no points missing in the source
      const float* tp = reader.read(*plan.temperature, b.source_a, b.window_a, ignored);
      const float* rh = reader.read(*plan.humidity, b.source_b, b.window_b, ignored);
      derive_humidity(tp, rh, plan.pressure_hpa, b.result.data(), n);
      break;
    }
    case RecordKind::derived_relative_humidity: {
      int64_t ignored = 0;
      const float* tp = reader.read(*plan.temperature, b.source_a, b.window_a, ignored);
      const float* q = reader.read(*plan.humidity, b.source_b, b.window_b, ignored);
      derive_relative_humidity(tp, q, plan.pressure_hpa, b.result.data(), n);
      break;
    }
    case RecordKind::missing:
      std::fill(b.result.begin(), b.result.end(), input_missing_flag);
      break;
  }
  write_input_record(fd, path, r, values, n);
  return missing;
}

// The file of one data time, written by `threads` workers that take the
// records in turn; each record lands at its fixed offset.
void write_data_time(const Inventory& inv, const ImportPlan& plan, const DataTimePlan& d, ReplacementFile& file,
                     std::vector<Buffers>& buffers, MissingTally& tally) {
  const FieldReader reader(inv, plan.window);
  std::vector<MissingTally> per_worker(buffers.size(), MissingTally{});
  run_in_parallel(d.records.size(), static_cast<int>(buffers.size()), [&](size_t r, int worker) {
    const auto w = static_cast<size_t>(worker);
    per_worker[w][static_cast<size_t>(d.records[r].tally)] +=
        write_record(reader, d.records[r], static_cast<int64_t>(r) + 1, buffers[w], file.fd(), file.path());
  });
  for (const MissingTally& mine : per_worker) {
    for (size_t k = 0; k < tally.size(); ++k) tally[k] += mine[k];
  }
  file.commit();  // on a failure the unfinished file goes with `file`
}

// Writes `text` to `path` through a temporary name of this process's own.
void write_text_file(const std::string& path, const std::string& text) {
  ReplacementFile file(path);
  write_at(file.fd(), path, text.data(), text.size(), 0);
  file.commit();
}

}  // namespace

int import_threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 4u));
}

void write_control_files(const ImportPlan& plan, const std::string& dir) {
  write_text_file(dir + "/" + kRunControlName, format_run_control(plan.control, plan.levels_hpa));
  write_text_file(dir + "/" + kDateName, format_data_time(plan.times.front().time) + "\n");
}

MissingTally write_data_times(const Inventory& inv, const ImportPlan& plan, const std::string& dir, int threads,
                              std::FILE* progress) {
  MissingTally tally{};
  std::vector<Buffers> buffers;
  for (int w = 0; w < std::max(threads, 1); ++w) buffers.push_back(make_buffers(inv.grid, plan.window));
  const size_t count = plan.times.size();
  for (size_t t = 0; t < count; ++t) {
    const DataTimePlan& d = plan.times[t];
    ReplacementFile file(dir + "/" + d.file_name);
    write_data_time(inv, plan, d, file, buffers, tally);
    std::fprintf(progress, "[%zu/%zu] %s -> %s\n", t + 1, count, format_data_time(d.time).c_str(), d.file_name.c_str());
    std::fflush(progress);
  }
  return tally;
}

}  // namespace i2m
