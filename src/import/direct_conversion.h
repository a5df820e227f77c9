// Work files straight from the import (--convert): each data time, once its
// records are assembled, goes through the converter's own phases in memory
// and leaves exactly what importing and then converting its record file
// would: DIR/<name>.bin.ZEPwrk and its .gdsinfo, and the converter's log.
// The folder DIR/logs is then a batch's log folder, as the batch scripts
// write one (batch.id, inputs.txt, <key>.log, <key>.status), so that the
// season tools (batch_report.sh, --verify, the season report) work on it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "import/plan.h"
#include "input/field_set.h"

namespace i2m {

inline constexpr const char* kDirectLogFolder = "logs";

// How the conversions of an import ended.
struct ConversionTally {
  int converted = 0;
  int stopped = 0;   // on data the converter cannot repair (its message in the log)
  int skipped = 0;   // --resume: done before
};

class DirectConversion {
 public:
  // For the plan's data times written into `dir`; `command` is the import's
  // command line, for the manifests. With `resume`, data times that the
  // folder's last batch left verifiably done are skipped.
  DirectConversion(const ImportPlan& plan, const std::string& dir, std::string command, bool resume);
  ~DirectConversion();
  DirectConversion(const DirectConversion&) = delete;
  DirectConversion& operator=(const DirectConversion&) = delete;

  // Whether data time `index` (of the plan) is to be converted; one that is
  // not is counted as skipped.
  bool wanted(size_t index);

  // Converts data time `index`: `fill` stores its records in the field
  // set (the converter's phases then run on it) and `seconds` is timed from
  // here. Returns false when the converter stopped on the data (its line is
  // in the data time's log). Ends the run on any other failure.
  bool convert(size_t index, const std::function<void(FieldSet& fs)>& fill);

  // The absolute path of data time `index`'s record file: the name the
  // converter would be given.
  const std::string& input_path(size_t index) const { return inputs_[index]; }

  // Waits for the last manifest (its checksums are taken while the next
  // data time is imported); ends the run if it could not be written.
  void finish();

  const ConversionTally& tally() const { return tally_; }
  std::string log_folder() const { return logs_; }

 private:
  std::string key(size_t index) const;
  void write_manifest(size_t index, int status, double seconds) const;

  const ImportPlan& plan_;
  std::string logs_;
  std::string command_;
  std::string batch_;
  std::string control_text_;
  std::vector<std::string> inputs_;
  std::vector<bool> done_before_;
  ConversionTally tally_;
  // The manifest of the data time converted last: its checksums (seconds
  // of reading for a global work file) are taken beside the next import.
  std::thread manifest_;
  std::exception_ptr manifest_error_;
};

}  // namespace i2m
