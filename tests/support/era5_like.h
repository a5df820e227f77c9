// Test helper: a small ERA5-like data set (pressure levels and single
// levels, two data times), defined once so that its GRIB and NetCDF copies
// hold the same values, and the input record file an import of it must
// produce, computed from the import's rules (units converted in double and
// rounded once, rows south first) rather than by the importer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// The variables in the order of the converter's input records: six
// upper-air fields, then the twelve surface slices.
enum Era5Variable { kZ, kR, kQ, kT, kU, kV, kLsm, kMsl, kSp, kZs, kStl1, kSwvl1, kStl2, kSwvl2,
                    kStl3, kSwvl3, kStl4, kSwvl4, kEra5Variables };

struct Era5VariableInfo {
  const char* name;   // ERA5's short name
  long param_id;
  bool upper_air;
  double divisor;     // from the source's units to the converter's
};
const Era5VariableInfo& era5_variable(int v);

struct Era5Like {
  // 8 x 5 points, 45 degrees apart: latitudes 90 to -90 (north first, as
  // ERA5 stores them), longitudes 0 to 315.
  int ni = 8, nj = 5;
  double lat_north = 90, dlat = 45, lon_west = 0, dlon = 45;
  std::vector<long> levels_hpa = {1000, 850, 500};
  std::vector<long> dates = {20240101, 20240101};
  std::vector<long> times = {0, 600};  // HHMM

  // The value in the source's units at row j (from the north) and column
  // i; NaN where the source marks the point missing. `level` is an index
  // into levels_hpa (ignored for surface variables).
  double value(int variable, size_t time, size_t level, int j, int i) const;
  // A whole field in ERA5's scanning order (north first, west to east).
  std::vector<double> field(int variable, size_t time, size_t level) const;
};

// How a GRIB copy is written: ERA5 stores rows north first, west to east.
struct GribLayout {
  int edition = 1;
  std::string packing = "grid_simple";
  bool south_first = false;
  bool east_first = false;
  // Fields left out: a predicate on (variable, time, level index).
  bool (*leave_out)(int variable, size_t time, size_t level) = nullptr;
};

// Writes the data set as ERA5 delivers it in GRIB: the pressure-level file
// and the single-level file, each holding every data time.
void write_era5_grib(const Era5Like& d, const GribLayout& layout, const std::string& pressure_file,
                     const std::string& single_file);

// The rows (from the north) and columns of the data set an import writes,
// in the order it writes them: rows south to north, columns west to east.
struct Era5Selection {
  std::vector<int> rows_north_index;
  std::vector<int> columns;
};
Era5Selection whole_era5_grid(const Era5Like& d);

// The bytes of the input record file an import must write for data time
// `time`, with the levels from the highest pressure down.
std::vector<unsigned char> expected_era5_records(const Era5Like& d, size_t time, const Era5Selection& s);

}  // namespace testing_support
