#include "import/writer.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <memory>
#include <mutex>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/replacement_file.h"
#include "control/run_control_writer.h"
#include "import/data_time.h"
#include "import/direct_conversion.h"
#include "import/model_level_step.h"
#include "import/record_values.h"
#include "input/input_reader.h"
#include "input/record_writer.h"
#include "output/work_file_format.h"
#include "qc/screening.h"

namespace i2m {
namespace {

// Computes the records of one data time on the pool's workers, which take
// them in turn, and hands each to `put` (on the worker's thread) while its
// values stand in the worker's buffers; counts the missing points.
void run_records(const RecordValues& values, const DataTimePlan& d, const SoilMasks& masks,
                 const ModelLevelStep* vertical, std::vector<RecordBuffers>& buffers, WorkerPool& pool,
                 MissingTally& tally, const std::function<void(int64_t r, const float* record, size_t points)>& put) {
  std::vector<MissingTally> per_worker(buffers.size(), MissingTally{});
  pool.run(d.records.size(), [&](size_t r, int worker) {
    const auto w = static_cast<size_t>(worker);
    int64_t missing = 0;
    const float* record = values.compute(d.records[r], masks, vertical, buffers[w], missing);
    put(static_cast<int64_t>(r) + 1, record, buffers[w].result.size());
    per_worker[w][static_cast<size_t>(d.records[r].tally)] += missing;
  });
  for (const MissingTally& mine : per_worker) {
    for (size_t k = 0; k < tally.size(); ++k) tally[k] += mine[k];
  }
}

// The file of one data time: each record at its fixed offset. Writes into
// one file take turns: in the kernel, writers of one file spin on its
// lock, and the spinning costs more than the waiting.
void write_data_time(const RecordValues& values, const DataTimePlan& d, const SoilMasks& masks,
                     const ModelLevelStep* vertical, ReplacementFile& file, std::vector<RecordBuffers>& buffers,
                     WorkerPool& pool, MissingTally& tally) {
  std::mutex one_writer;
  run_records(values, d, masks, vertical, buffers, pool, tally, [&](int64_t r, const float* record, size_t points) {
    const std::lock_guard<std::mutex> turn(one_writer);
    write_input_record(file.fd(), file.path(), r, record, points);
  });
  file.commit();  // on a failure the unfinished file goes with `file`
}

// The records of one data time stored in the converter's field set, each
// screened as the converter screens what it reads; also written to `file`
// when the record file is kept.
void fill_field_set(const RecordValues& values, const DataTimePlan& d, const SoilMasks& masks,
                    const ModelLevelStep* vertical, FieldSet& fs, ReplacementFile* file,
                    std::vector<RecordBuffers>& buffers, WorkerPool& pool, MissingTally& tally) {
  std::mutex one_writer;
  run_records(values, d, masks, vertical, buffers, pool, tally, [&](int64_t r, const float* record, size_t points) {
    if (file != nullptr) {
      const std::lock_guard<std::mutex> turn(one_writer);
      write_input_record(file->fd(), file->path(), r, record, points);
    }
    const RecordDestination to = record_destination(fs, r);
    std::memcpy(to.slice, record, points * sizeof(float));
    screen_record(to.field, to.level, to.slice, points);
  });
  if (file != nullptr) file->commit();
}

// Writes `text` to `path` through a temporary name of this process's own.
void write_text_file(const std::string& path, const std::string& text) {
  ReplacementFile file(path);
  write_at(file.fd(), path, text.data(), text.size(), 0);
  file.commit();
}

}  // namespace

void write_control_files(const ImportPlan& plan, const std::string& dir) {
  write_text_file(dir + "/" + kRunControlName, format_run_control(plan.control, plan.levels_hpa));
  write_text_file(dir + "/" + kDateName, format_data_time(plan.times.front().time) + "\n");
}

MissingTally write_data_times(const Inventory& inv, const ImportPlan& plan, const std::string& dir, WorkerPool& pool,
                              std::FILE* progress, DirectConversion* conversion, bool keep_input) {
  MissingTally tally{};
  const bool model_levels = std::any_of(plan.times.begin(), plan.times.end(), [](const DataTimePlan& d) { return d.model_levels.has_value(); });
  std::vector<RecordBuffers> buffers;
  for (int w = 0; w < pool.size(); ++w) buffers.push_back(make_record_buffers(inv, plan.grid, model_levels));
  const RecordValues values(inv, plan.grid);
  // The vertical step's storage, allocated once for every data time on
  // model levels.
  std::unique_ptr<ModelLevelStep> vertical = model_levels ? std::make_unique<ModelLevelStep>(inv, plan) : nullptr;
  const size_t count = plan.times.size();
  for (size_t t = 0; t < count; ++t) {
    const DataTimePlan& d = plan.times[t];
    std::string written = d.file_name;
    if (conversion != nullptr && !conversion->wanted(t)) {
      std::fprintf(progress, "[%zu/%zu] %s: done before, skipped\n", t + 1, count, format_data_time(d.time).c_str());
      continue;
    }
    const SoilMasks masks = read_soil_masks(inv, plan.grid, d);
    if (d.model_levels) vertical->run(*d.model_levels, pool, buffers);
    if (conversion == nullptr) {
      ReplacementFile file(dir + "/" + d.file_name);
      write_data_time(values, d, masks, vertical.get(), file, buffers, pool, tally);
    } else {
      std::optional<ReplacementFile> file;
      if (keep_input) file.emplace(dir + "/" + d.file_name);
      const bool converted = conversion->convert(t, [&](FieldSet& fs) {
        fill_field_set(values, d, masks, vertical.get(), fs, file ? &*file : nullptr, buffers, pool, tally);
      });
      written = converted ? d.file_name + std::string(kWorkFileSuffix)
                          : "stopped on its data (" + conversion->log_folder() + ")";
    }
    std::fprintf(progress, "[%zu/%zu] %s -> %s\n", t + 1, count, format_data_time(d.time).c_str(), written.c_str());
    std::fflush(progress);
  }
  return tally;
}

}  // namespace i2m
