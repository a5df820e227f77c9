// What an import writes, decided before a byte is written: for every data
// time the file name and, for each of its 6 lm + 12 records, where the
// values come from. Plain data, printed by --list and the summary.
//
// A plan points into the inventory it was made from (RecordPlan's fields
// are that inventory's): it is valid while that inventory lives, unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "control/run_control.h"
#include "import/area.h"
#include "import/grid_choice.h"
#include "import/inventory.h"
#include "import/levels.h"
#include "import/model_level_plan.h"

namespace i2m {

struct ImportOptions {
  std::string out_dir = ".";
  std::vector<double> levels_hpa;  // --levels; empty: the complete levels
  std::optional<Area> area;        // --area; none: the whole grid
  std::optional<GridIncrements> grid;  // --grid; none: the sources' own grid
  std::string model;               // --model; empty: what the sources suggest
  bool list = false;               // --list: print the inventory, write nothing
  bool list_files = false;         // --list-files: print the file names only, one per line
  std::optional<int64_t> member;   // --member: the ensemble member imported
  // --allow-missing-surface: a data time without some of its twelve surface
  // fields is written with them missing instead of refused.
  bool allow_missing_surface = false;
  // --replace: remove the output folder's .bin files of another grid or
  // level list instead of refusing to write beside them.
  bool replace = false;
  int library_time_limit = 300;    // seconds a library may spend on one field
  // --convert: work files straight from the import; --keep-input: the
  // record files too; --resume: skip what the folder's last conversion left
  // done.
  bool convert = false;
  bool keep_input = false;
  bool resume = false;
  std::vector<std::string> files;
};

// Where a record's values come from: a field of the sources, a humidity
// derived from temperature and the other humidity (specific from relative,
// or relative from specific), the vertical interpolation from model levels,
// or no source at all (the record is written with the input file's missing
// marker).
enum class RecordSource { field, derived_specific_humidity, derived_relative_humidity, vertical, none };

struct RecordPlan {
  RecordSource source = RecordSource::none;
  const FieldInfo* field = nullptr;        // source field
  const FieldInfo* temperature = nullptr;  // the derived sources: their inputs
  const FieldInfo* humidity = nullptr;     // the other humidity
  float pressure_hpa = 0;                  // the derived sources and vertical upper air: the level
  // vertical: the quantity (upper air, surface pressure or topography) and
  // the index of its output level in the levels written
  Quantity quantity = Quantity::height;
  int output_level = 0;
  int tally = 0;                           // tally_row() of the record
};

struct DataTimePlan {
  int64_t time = 0;
  std::string file_name;             // "era5_2024010112.bin"
  std::vector<RecordPlan> records;   // in file order
  std::optional<ModelLevelPlan> model_levels;  // upper air on model levels
};

// Records written as missing (of no source), or derived, for the summary: "specific
// humidity from temperature and relative humidity" at levels "1000, 925,
// 850" (none for a surface record) "at every data time".
struct PlanNote {
  std::string what;
  std::vector<std::string> levels_hpa;
  std::string when;
};

struct ImportPlan {
  RunControl control;  // model name, im jm lm and grid numbers
  std::vector<float> levels_hpa;
  LevelChoice levels;
  GridChoice grid;
  // Top depths (m) of the four soil layers written, per soil quantity;
  // fewer when the sources hold fewer.
  std::vector<double> soil_layers[2];
  std::vector<DataTimePlan> times;
  std::vector<PlanNote> derived;
  std::vector<PlanNote> missing;  // records of no source
  // Fields of the inventory that some record reads; the others (at levels
  // not kept, in soil layers below the fourth) are read and not used.
  int64_t fields_used = 0;
};

// Decides everything; ends the run with exit status 2 on what makes the
// import impossible (see choose_levels, window_for_area), and, unless
// options.allow_missing_surface, on a data time whose sources lack any of
// the twelve surface fields.
ImportPlan make_plan(const Inventory& inv, const ImportOptions& options);

// A model name that can also stand in a file name: letters, digits, '.',
// '_' and '-', 1 to kModelNameLength characters.
bool valid_model_name(const std::string& name);

// The record file of one data time: "<model, lower case>_<YYYYMMDDHH>.bin".
std::string data_time_file_name(const std::string& model_name, int64_t time);
// Whether `name` has that form (of any model and data time).
bool is_data_time_file_name(const std::string& name);

}  // namespace i2m
