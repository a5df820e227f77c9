// The run sequence of one conversion, from the run control file to the
// closed work file. Each phase works in place on one field set.
#pragma once

#include <functional>
#include <string>

#include "control/list_reader.h"
#include "input/field_set.h"

namespace i2m {

// Told the name of each phase of a conversion as it ends (for timing).
using PhaseObserver = std::function<void(const char* phase)>;

// Converts the data time whose input file is named by `line1` (up to its
// first blank). `line2` is read by the caller and used by nothing. Returns
// after a complete run; every failure or data stop throws RunFailure.
void conv2model(const std::string& line1, const std::string& line2);

// The run sequence itself, for the input file at `input_path`; the last
// phase reported is "release", after every array has been freed.
void convert_data_time(const std::string& input_path, const PhaseObserver& after_phase = {});

// Where a conversion takes its control file, date and input from: the
// files of the working directory and the input record file, or what a
// caller holds (the importer converting the data times it assembles).
struct ConversionSources {
  ListReader control;                          // the run control file
  std::function<std::string()> read_date;      // the date file's word
  // Logs "OPEN FILE <path>" and stores every input record, screened
  // (screen_record), in the field set; ends the run as read_input_file does.
  std::function<void(FieldSet& fs)> read_input;
};

// The run sequence on those sources; outputs named from `input_path` as
// the converter names them. Throws RunFailure as conv2model does (status
// 3 for a data stop, after its line is logged).
void convert_data_time(const std::string& input_path, ConversionSources sources, const PhaseObserver& after_phase = {});

}  // namespace i2m
