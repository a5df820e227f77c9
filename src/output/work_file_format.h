// The model work file and its ".gdsinfo" description, stated once for the
// converter that writes them and the inspector that reads them: the fields
// in record order with their labels (as the .gdsinfo lists them, typos
// included), units and short names, the headings of the .gdsinfo, and the
// lines of its grid description.
//
// Work file: no header and no record markers; record r holds bytes
// (r - 1) L to r L - 1, L = 4 im jm, one horizontal field of little-endian
// floats, west-east index fastest. The five 3-D fields come first, lm
// records each from the bottom level up, then the twelve surface fields,
// one record each; -99999.0 (missing_flag) marks a value still missing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/constants.h"

#include "input/record_layout.h"

namespace i2m {

// The array of the converter's field set a work-file field is written
// from: a 3-D array, or a slice of slp.
enum class WorkSource : uint8_t { uw, vw, ht, qnew2, tp, slp };

struct WorkFileField {
  const char* short_name;  // u v z q t lsm msl sp topo st1 sm1 ... st4 sm4
  const char* label;       // "Zonal wind"
  const char* unit;        // "m/s"; " " for the land-sea mask
  bool three_d;            // lm records, else one
  WorkSource source;
};

inline constexpr int kThreeDFields = 5;
inline constexpr int kSurfaceFields = 12;  // the surface slices of slp, nsfcfld
inline constexpr int kWorkFieldCount = kThreeDFields + kSurfaceFields;

// In record order: the 3-D fields, then the surface fields in the order of
// the slices of slp (the input file's order).
inline constexpr WorkFileField kWorkFields[kWorkFieldCount] = {
    {"u", "Zonal wind", "m/s", true, WorkSource::uw},
    {"v", "Meridional wind", "m/s", true, WorkSource::vw},
    {"z", "Geopotential height", "m", true, WorkSource::ht},
    {"q", "Specific humidity", "kg/kg", true, WorkSource::qnew2},
    {"t", "Temperature", "K", true, WorkSource::tp},
    {"lsm", "Land-sea mask", " ", false, WorkSource::slp},
    {"msl", "M S L Pressure", "hPa", false, WorkSource::slp},
    {"sp", "Surface Pressure", "hPa", false, WorkSource::slp},
    {"topo", "Topography", "m", false, WorkSource::slp},
    {"st1", "Soil Temperature  layer 1", "K", false, WorkSource::slp},
    {"sm1", "Soil Moisture layer 1", "0-1", false, WorkSource::slp},
    {"st2", "Soil Temperature  layer 2", "K", false, WorkSource::slp},
    {"sm2", "Soil Moisture layer 2", "0-1", false, WorkSource::slp},
    {"st3", "Soil Temperature  layer 3", "K", false, WorkSource::slp},
    {"sm3", "Soil Moisture layer 3", "0-1", false, WorkSource::slp},
    {"st4", "Soil Temperature  layer 4", "K", false, WorkSource::slp},
    {"sm4", "Soil Moisture layer 4", "0-1", false, WorkSource::slp},
};

// The work field of surface slice `slice` (1 to 12): the surface fields
// follow the 3-D fields in the order of the slices of slp.
inline constexpr int work_field_of_slice(int slice) { return kThreeDFields + slice - 1; }

// The first of the soil fields (temperature and moisture of layers 1 to 4).
inline constexpr int kFirstSoilField = work_field_of_slice(soil_temperature_slice(1));

// Records of a work file with lm levels: 5 lm + 12.
inline int64_t work_record_count(int32_t lm) { return kThreeDFields * int64_t{lm} + kSurfaceFields; }

// The 1-based record of level k (1 to lm) of 3-D field `field`, or of
// surface field `field` (k is then not used).
inline int64_t work_record_number(int field, int32_t k, int32_t lm) {
  return field < kThreeDFields ? int64_t{field} * lm + k : kThreeDFields * int64_t{lm} + (field - kThreeDFields) + 1;
}

// The names of the outputs: the input path, then these. Names are held in
// fields of kNameFieldLength characters and end at their first blank, so
// the longest input path that leaves room for the names of both outputs
// has 239 characters.
inline constexpr std::string_view kWorkFileSuffix = ".ZEPwrk";
inline constexpr std::string_view kGdsinfoSuffix = ".gdsinfo";
inline constexpr size_t kLongestInputPath = kNameFieldLength - 1 - kWorkFileSuffix.size() - kGdsinfoSuffix.size();
static_assert(kLongestInputPath == 239);

// The texts of the .gdsinfo file, without the blank that opens every line
// of the log's layout.
inline constexpr const char* kLevelCountText = " => Number of Levels";  // after the count of levels
inline constexpr const char* kPressureHeading = "Pressure in Pa";
inline constexpr const char* kFieldListHeading = "Fields names and writing order";
inline constexpr const char* kThreeDHeading = "        3D ";
inline constexpr const char* kRecordOrderLine = "first written record: botton of the atmosphere";
inline constexpr const char* kTwoDHeading = "        2D";

// The grid description takes 12 lines: kgds(1) to kgds(11), then element
// 20 under the label of element 12.
inline constexpr int kGridDescriptionLines = 12;
inline int kgds_element_of_line(int line) { return line < kGridDescriptionLines ? line : 20; }
std::string kgds_label(int line);  // "kgds(7)"

// A field's line of the list: the label in 26 characters, then "(unit)".
std::string field_list_line(const WorkFileField& f);

}  // namespace i2m
