#include "support/era5_like.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#include "support/grib_writer.h"

namespace testing_support {
namespace {

constexpr double kGravity = 9.80665;

const Era5VariableInfo kVariables[kEra5Variables] = {
    {"z", 129, true, kGravity},   {"r", 157, true, 1},       {"q", 133, true, 1},
    {"t", 130, true, 1},          {"u", 131, true, 1},       {"v", 132, true, 1},
    {"lsm", 172, false, 1},       {"msl", 151, false, 100},  {"sp", 134, false, 100},
    {"z", 129, false, kGravity},  {"stl1", 139, false, 1},   {"swvl1", 39, false, 1},
    {"stl2", 170, false, 1},      {"swvl2", 40, false, 1},   {"stl3", 183, false, 1},
    {"swvl3", 41, false, 1},      {"stl4", 236, false, 1},   {"swvl4", 42, false, 1},
};

// ERA5's soil layers in cm, as its GRIB1 files state them.
const long kLayerTopCm[] = {0, 7, 28, 100};
const long kLayerBottomCm[] = {7, 28, 100, 255};

void put32(std::vector<unsigned char>& out, uint32_t u) {
  for (int b = 0; b < 4; ++b) out.push_back(static_cast<unsigned char>(u >> (8 * b)));
}

}  // namespace

const Era5VariableInfo& era5_variable(int v) { return kVariables[v]; }

// Every value is a small integer or a multiple of a power of two, so that
// 16-bit packing (and NetCDF's short packing) stores it exactly.
double Era5Like::value(int variable, size_t time, size_t level, int j, int i) const {
  const double t = static_cast<double>(time), k = static_cast<double>(level);
  const double x = i, y = j;
  switch (variable) {
    case kZ: return 2000 + 9000 * k + 30 * x + 7 * y + 100 * t;
    case kR: return (i * 7 + j * 13 + static_cast<int>(level) * 3 + static_cast<int>(time)) % 90 + 5;
    case kQ: return (x + 2 * y + k + t) / 4096.0;
    case kT: return time == 1 && level == 1 && j == 3 && i == 2 ? NAN : 220 + 10 * k + x - y + t;
    case kU: return x - 3 + 2 * k;
    case kV: return y - 2 - k + t;
    case kLsm: return ((i + j) % 4) / 4.0;
    case kMsl: return 100000 + 100 * x - 37 * y + 10 * t;
    case kSp: return 95000 + 50 * x + 11 * y;
    case kZs: return 980 * x + 9 * y;
    default: break;
  }
  const int layer = (variable - kStl1) / 2;  // 0 to 3
  if (j == 0 && i == 1) return NAN;          // a point missing in every soil field
  if ((variable - kStl1) % 2 == 0) return 260 + layer + x + y / 2;
  return (x + y + layer) / 64.0;
}

std::vector<double> Era5Like::field(int variable, size_t time, size_t level) const {
  std::vector<double> values;
  for (int j = 0; j < nj; ++j) {
    for (int i = 0; i < ni; ++i) values.push_back(value(variable, time, level, j, i));
  }
  return values;
}

// The field in the layout's scanning order.
std::vector<double> scanned(const Era5Like& d, const GribLayout& layout, int v, size_t t, size_t k) {
  std::vector<double> values;
  for (int r = 0; r < d.nj; ++r) {
    const int j = layout.south_first ? d.nj - 1 - r : r;
    for (int c = 0; c < d.ni; ++c) values.push_back(d.value(v, t, k, j, layout.east_first ? d.ni - 1 - c : c));
  }
  return values;
}

void write_era5_grib(const Era5Like& d, const GribLayout& layout, const std::string& pressure_file,
                     const std::string& single_file) {
  GribMessage m;
  m.edition = layout.edition;
  m.packing = layout.packing;
  const double south = d.lat_north - (d.nj - 1) * d.dlat, east = d.lon_west + (d.ni - 1) * d.dlon;
  m.grid = {d.ni, d.nj, layout.south_first ? south : d.lat_north, layout.south_first ? d.lat_north : south,
            layout.east_first ? east : d.lon_west, layout.east_first ? d.lon_west : east,
            layout.south_first, layout.east_first};
  for (size_t t = 0; t < d.dates.size(); ++t) {
    m.date = d.dates[t];
    m.time = d.times[t];
    for (int v = 0; v < kEra5Variables; ++v) {
      const Era5VariableInfo& info = kVariables[v];
      m.param_id = info.param_id;
      if (info.upper_air) {
        m.level_type = "isobaricInhPa";
        for (size_t k = 0; k < d.levels_hpa.size(); ++k) {
          if (layout.leave_out != nullptr && layout.leave_out(v, t, k)) continue;
          m.level = d.levels_hpa[k];
          m.values = scanned(d, layout, v, t, k);
          append_grib(pressure_file, m);
        }
        continue;
      }
      if (layout.leave_out != nullptr && layout.leave_out(v, t, 0)) continue;
      const bool soil = v >= kStl1;
      m.level_type = soil ? "depthBelowLandLayer" : v == kMsl && layout.edition == 2 ? "meanSea" : "surface";
      if (soil) {
        const int layer = (v - kStl1) / 2;
        m.top_cm = kLayerTopCm[layer];
        m.bottom_cm = kLayerBottomCm[layer];
        m.scale_factor = 2;
        m.scaled_value = kLayerTopCm[layer];
        m.scale_bottom = 2;
        m.scaled_bottom = kLayerBottomCm[layer];
      }
      m.values = scanned(d, layout, v, t, 0);
      append_grib(single_file, m);
      m.scale_factor = m.scale_bottom = -1;
    }
  }
}

Era5Selection whole_era5_grid(const Era5Like& d) {
  Era5Selection s;
  for (int j = d.nj - 1; j >= 0; --j) s.rows_north_index.push_back(j);
  s.columns.resize(static_cast<size_t>(d.ni));
  std::iota(s.columns.begin(), s.columns.end(), 0);
  return s;
}

std::vector<unsigned char> expected_era5_records(const Era5Like& d, size_t time, const Era5Selection& s) {
  std::vector<size_t> levels(d.levels_hpa.size());
  std::iota(levels.begin(), levels.end(), 0);
  std::sort(levels.begin(), levels.end(), [&](size_t a, size_t b) { return d.levels_hpa[a] > d.levels_hpa[b]; });
  std::vector<unsigned char> out;
  const auto points = static_cast<uint32_t>(s.rows_north_index.size() * s.columns.size());
  auto record = [&](int variable, size_t level) {
    put32(out, 4 * points);
    for (int j : s.rows_north_index) {
      for (int i : s.columns) {
        const double v = d.value(variable, time, level, j, i);
        const float f = std::isnan(v) ? 9.999e20f : static_cast<float>(v / kVariables[variable].divisor);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        put32(out, bits);
      }
    }
    put32(out, 4 * points);
  };
  for (int v = kZ; v <= kV; ++v) {
    for (size_t k : levels) record(v, k);
  }
  for (int v = kLsm; v < kEra5Variables; ++v) record(v, 0);
  return out;
}

}  // namespace testing_support
