#include "output/work_file.h"

#include "common/constants.h"
#include "common/failure.h"
#include "common/file_io.h"
#include "common/log_line.h"
#include "common/name_field.h"
#include "output/work_file_format.h"

namespace i2m {
namespace {

float* array_of(const FieldSet& fs, WorkSource source) {
  switch (source) {
    case WorkSource::uw: return fs.uw;
    case WorkSource::vw: return fs.vw;
    case WorkSource::ht: return fs.ht;
    case WorkSource::qnew2: return fs.qnew2;
    case WorkSource::tp: return fs.tp;
    case WorkSource::slp: break;
  }
  return fs.slp;
}

}  // namespace

std::string build_work_file_name(std::string_view input_path) {
  std::string text(input_path);
  text += '.';
  text += kWorkPrefix;
  std::string field = make_name_field(text);
  log(LogLine().text(field));
  log(LogLine().text(kWorkPrefix).text(" data ---> ").text(name_before_first_blank(field)));
  return field;
}

WorkFile open_work_file(const std::string& name_field, int32_t im, int32_t jm) {
  const std::string name(name_before_first_blank(name_field));
  if (name.empty()) {
    fail_file(name_field, "cannot create the work file: its name fills the whole 255-character name field (input paths "
                          "may have at most " + std::to_string(kLongestInputPath) + " characters)");
  }
  return WorkFile{name, ReplacementFile(name), 4 * static_cast<int64_t>(im) * jm};
}

void write_work_records(const WorkFile& file, const FieldSet& fs) {
  log(LogLine().text("starting writes to unit1"));
  const auto bytes = static_cast<size_t>(file.record_bytes);
  int64_t offset = 0;
  auto write_record = [&](const float* slice) {
    write_at(file.file.fd(), file.name, slice, bytes, offset);
    offset += file.record_bytes;
  };
  for (const WorkFileField& f : kWorkFields) {
    if (!f.three_d) continue;
    for (int32_t k = 1; k <= fs.lm; ++k) write_record(fs.slice(array_of(fs, f.source), k));
  }
  for (int32_t n = 1; n <= nsfcfld; ++n) write_record(fs.slice(fs.slp, n));
}

void close_work_file(WorkFile& file) { file.file.close(); }

void commit_work_file(WorkFile& file) { file.file.commit(); }

}  // namespace i2m
