// The "ctl" subcommand: a GrADS data descriptor that lets GrADS, and CDO's
// import_binary, read the work file as it stands.
#pragma once

#include <string>

#include "inspect/work_file_layout.h"

namespace inspect {

// GrADS time of the one time step ("hhZddmmmyyyy") from "YYYYMMDDHH",
// "YYYYMMDD" or a GrADS time given as it is. Throws on anything else.
std::string grads_time(const std::string& when);

// The descriptor's text for the work file, whose name it refers to
// relative to the descriptor's own folder.
std::string grads_descriptor(const WorkFileLayout& layout, const std::string& time);

// Writes `<work file>.ctl` and returns its path.
std::string write_grads_descriptor(const WorkFileLayout& layout, const std::string& time);

}  // namespace inspect
