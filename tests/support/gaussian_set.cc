#include "support/gaussian_set.h"

#include <eccodes.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "support/era5_like.h"

namespace testing_support {
namespace {

struct HandleDeleter {
  void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

void check(int error, const std::string& what) {
  if (error != 0) throw std::runtime_error("ecCodes refused " + what + ": " + codes_get_error_message(error));
}

void set(codes_handle* h, const char* key, long v) { check(codes_set_long(h, key, v), key); }
void set(codes_handle* h, const char* key, const char* v) {
  size_t n = std::string(v).size();
  check(codes_set_string(h, key, v, &n), key);
}

Handle from_sample(const SampleGrid& grid) {
  Handle h(codes_grib_handle_new_from_samples(nullptr, grid.sample.c_str()));
  if (!h) throw std::runtime_error("no sample " + grid.sample);
  if (!grid.pl.empty()) {
    set(h.get(), "N", grid.n);
    set(h.get(), "Nj", static_cast<long>(grid.pl.size()));
    check(codes_set_long_array(h.get(), "pl", grid.pl.data(), grid.pl.size()), "pl");
    long total = 0;
    for (long points : grid.pl) total += points;
    set(h.get(), "numberOfDataPoints", total);
  }
  for (const auto& [key, value] : grid.long_keys) set(h.get(), key.c_str(), value);
  for (const auto& [key, value] : grid.double_keys) check(codes_set_double(h.get(), key.c_str(), value), key);
  // A grid changed from the sample's needs values of its own size before
  // its points can be located.
  long points = 0;
  check(codes_get_long(h.get(), "numberOfDataPoints", &points), "numberOfDataPoints");
  const std::vector<double> zeros(static_cast<size_t>(points));
  check(codes_set_double_array(h.get(), "values", zeros.data(), zeros.size()), "values");
  return h;
}

void set_field(codes_handle* h, int variable, long level_hpa) {
  const Era5VariableInfo& info = era5_variable(variable);
  set(h, "centre", 98L);
  set(h, "dataDate", 20240101L);
  set(h, "dataTime", 0L);
  set(h, "paramId", info.param_id);
  if (info.upper_air) {
    set(h, "typeOfLevel", "isobaricInhPa");
    set(h, "level", level_hpa);
  } else if (variable >= kStl1) {
    static const long kTop[] = {0, 7, 28, 100}, kBottom[] = {7, 28, 100, 289};
    const int layer = (variable - kStl1) / 2;
    set(h, "typeOfLevel", "depthBelowLandLayer");
    set(h, "scaleFactorOfFirstFixedSurface", 2L);
    set(h, "scaledValueOfFirstFixedSurface", kTop[layer]);
    set(h, "scaleFactorOfSecondFixedSurface", 2L);
    set(h, "scaledValueOfSecondFixedSurface", kBottom[layer]);
  } else {
    set(h, "typeOfLevel", variable == kMsl ? "meanSea" : "surface");
  }
}

}  // namespace

std::vector<long> octahedral_pl(long n) {
  std::vector<long> pl;
  for (long i = 1; i <= n; ++i) pl.push_back(20 + 4 * (i - 1));
  for (long i = n; i >= 1; --i) pl.push_back(20 + 4 * (i - 1));
  return pl;
}

void write_on_grid(const SampleGrid& grid, const PointValue& value, const std::string& path,
                   const std::function<bool(int variable)>& which) {
  Handle h = from_sample(grid);
  size_t n = 0;
  check(codes_get_size(h.get(), "values", &n), "values");
  std::vector<double> lats(n), lons(n), values(n);
  check(codes_grib_get_data(h.get(), lats.data(), lons.data(), values.data()), "the points");
  std::FILE* out = std::fopen(path.c_str(), "ab");
  if (out == nullptr) throw std::runtime_error("cannot write " + path);
  for (int v = 0; v < kEra5Variables; ++v) {
    if (which && !which(v)) continue;
    const bool upper = era5_variable(v).upper_air;
    for (size_t k = 0; k < (upper ? kGaussianSetLevels.size() : 1); ++k) {
      Handle m = from_sample(grid);
      set_field(m.get(), v, upper ? kGaussianSetLevels[k] : 0);
      bool missing = false;
      for (size_t p = 0; p < n; ++p) {
        values[p] = value(v, static_cast<int>(k), lats[p], lons[p]);
        if (std::isnan(values[p])) {
          values[p] = 9999;
          missing = true;
        }
      }
      set(m.get(), "packingType", "grid_ieee");
      if (missing) {
        check(codes_set_double(m.get(), "missingValue", 9999), "missingValue");
        set(m.get(), "bitmapPresent", 1L);
      }
      check(codes_set_double_array(m.get(), "values", values.data(), n), "values");
      const void* bytes = nullptr;
      size_t length = 0;
      check(codes_get_message(m.get(), &bytes, &length), "the message");
      if (std::fwrite(bytes, 1, length, out) != length) throw std::runtime_error("cannot write " + path);
    }
  }
  if (std::fclose(out) != 0) throw std::runtime_error("cannot write " + path);
}

}  // namespace testing_support
