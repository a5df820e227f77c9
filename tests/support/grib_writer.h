// Test helper: GRIB messages made with the ecCodes API, the way the Data
// Store and NCEP write them, so that the importer's tests run on files no
// test hand-assembled byte by byte.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct GribGrid {
  int ni = 0, nj = 0;
  double lat_first = 0, lat_last = 0;  // degrees, in scanning order
  double lon_first = 0, lon_last = 0;
  bool south_first = false;  // jScansPositively
  bool east_first = false;   // iScansNegatively
};

struct GribMessage {
  int edition = 1;
  long param_id = 0;          // ECMWF parameter id (130 = t, 129 = z, ...)
  std::string short_name;     // instead of param_id, for NCEP parameters (soilw)
  std::string level_type;     // "isobaricInhPa", "surface", "depthBelowLandLayer", "hybrid"; "" keeps ecCodes' choice
  long level = 0;             // hPa on isobaricInhPa, the level number on hybrid
  std::vector<double> pv;     // hybrid levels: a then b of the half levels
  // GRIB2 only: a first fixed surface given as scaled value and scale
  // factor (a pressure in Pa, or a depth in m); used when scale >= 0.
  long scaled_value = 0, scale_factor = -1;
  long scaled_bottom = 0, scale_bottom = -1;
  long top_cm = 0, bottom_cm = 0;  // GRIB1 soil layers
  long date = 20240101, time = 0, step = 0;
  long centre = 98;           // 98 = ECMWF, 7 = NCEP
  std::string mars_class = "ea";
  GribGrid grid;
  std::vector<double> values;  // in scanning order; NaN: a point missing in the bitmap
  std::string packing = "grid_simple";
  long bits_per_value = 16;
  // Another ecCodes sample to start from ("regular_gg_pl_grib2"): its grid
  // is kept, `grid` is not used, and `values` must fit it.
  std::string sample;
};

// The encoded message; throws std::runtime_error naming the key ecCodes refused.
std::vector<unsigned char> encode_grib(const GribMessage& m);

// Appends the message to the file (created when absent).
void append_grib(const std::string& path, const GribMessage& m);

}  // namespace testing_support
