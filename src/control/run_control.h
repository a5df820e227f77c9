// The run control file "./InputModelInf.txt" and the date file "./adate.txt".
//
// The control file is read in two parts around the allocation of the field
// set: first the model name, the grid size and the seven grid numbers, then
// the level pressures. Nothing in either file is checked for plausibility
// except the grid size, which must describe a grid the files can hold.
#pragma once

#include <cstdint>
#include <string>

#include "control/list_reader.h"

namespace i2m {

// The names of the two files, and where the converter reads them.
inline constexpr const char* kRunControlName = "InputModelInf.txt";
inline constexpr const char* kDateName = "adate.txt";
inline constexpr const char* kRunControlPath = "./InputModelInf.txt";
inline constexpr const char* kDatePath = "./adate.txt";

// Line 1 of the control file: the model name, in this many characters.
inline constexpr int kModelNameLength = 20;

struct RunControl {
  std::string model_name;  // 20 characters, blanks included
  int32_t im = 0;          // points west-east
  int32_t jm = 0;          // points south-north
  int32_t lm = 0;          // pressure levels
  int32_t grid_type = 0;   // the seven grid numbers, copied into kgds
  int32_t la1 = 0;
  int32_t lo1 = 0;
  int32_t la2 = 0;
  int32_t lo2 = 0;
  int32_t di = 0;
  int32_t dj = 0;
};

// Opens the control file and reads lines 1 to 9 (the reader is left at the
// first level line). Ends the run with exit status 2 when the file is
// absent or unreadable, a number is malformed, or the grid is one the input
// and work files cannot hold (im < 2, jm < 2, lm < 1, im * jm >= kMaxGridPoints).
RunControl read_run_control_head(ListReader& reader);

// A reader over the whole control file.
ListReader open_run_control(const std::string& path = kRunControlPath);

// Reads the lm level pressures (hPa) into `pr`, one per line.
void read_level_pressures(ListReader& reader, int32_t lm, float* pr);

// Reads the 8-character date word. An absent file is created empty, so
// that the run then fails at its end of file as an empty one does.
std::string read_date_file(const std::string& path = kDatePath);

}  // namespace i2m
