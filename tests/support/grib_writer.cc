#include "support/grib_writer.h"

#include <eccodes.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace testing_support {
namespace {

struct HandleDeleter {
  void operator()(codes_handle* h) const { codes_handle_delete(h); }
};

void check(int error, const std::string& what) {
  if (error != 0) throw std::runtime_error("ecCodes refused " + what + ": " + codes_get_error_message(error));
}

void set(codes_handle* h, const char* key, long value) { check(codes_set_long(h, key, value), key); }
void set(codes_handle* h, const char* key, double value) { check(codes_set_double(h, key, value), key); }
void set(codes_handle* h, const char* key, const std::string& value) {
  size_t length = value.size();
  check(codes_set_string(h, key, value.c_str(), &length), key);
}

void set_level(codes_handle* h, const GribMessage& m) {
  if (!m.level_type.empty()) set(h, "typeOfLevel", m.level_type);
  if ((m.level_type == "isobaricInhPa" || m.level_type == "hybrid") && m.scale_factor < 0) set(h, "level", m.level);
  if (!m.pv.empty()) {
    set(h, "PVPresent", 1L);
    check(codes_set_double_array(h, "pv", m.pv.data(), m.pv.size()), "pv");
  }
  if (m.edition == 1 && m.level_type == "depthBelowLandLayer") {
    set(h, "topLevel", m.top_cm);
    set(h, "bottomLevel", m.bottom_cm);
  }
  if (m.edition == 2 && m.scale_factor >= 0) {
    set(h, "scaleFactorOfFirstFixedSurface", m.scale_factor);
    set(h, "scaledValueOfFirstFixedSurface", m.scaled_value);
  }
  if (m.edition == 2 && m.scale_bottom >= 0) {
    set(h, "scaleFactorOfSecondFixedSurface", m.scale_bottom);
    set(h, "scaledValueOfSecondFixedSurface", m.scaled_bottom);
  }
}

void set_grid(codes_handle* h, const GribGrid& g) {
  set(h, "Ni", static_cast<long>(g.ni));
  set(h, "Nj", static_cast<long>(g.nj));
  set(h, "iScansNegatively", g.east_first ? 1L : 0L);
  set(h, "jScansPositively", g.south_first ? 1L : 0L);
  set(h, "latitudeOfFirstGridPointInDegrees", g.lat_first);
  set(h, "latitudeOfLastGridPointInDegrees", g.lat_last);
  set(h, "longitudeOfFirstGridPointInDegrees", g.lon_first);
  set(h, "longitudeOfLastGridPointInDegrees", g.lon_last);
  set(h, "iDirectionIncrementInDegrees", std::fabs(g.lon_last - g.lon_first) / (g.ni - 1));
  set(h, "jDirectionIncrementInDegrees", std::fabs(g.lat_last - g.lat_first) / (g.nj - 1));
}

void set_values(codes_handle* h, const GribMessage& m) {
  // Missing points go in as a marker no value of the tests takes.
  constexpr double kMarker = -7.0e30;
  std::vector<double> values = m.values;
  bool any_missing = false;
  for (double& v : values) {
    if (std::isnan(v)) {
      v = kMarker;
      any_missing = true;
    }
  }
  set(h, "bitsPerValue", m.bits_per_value);
  if (any_missing) {
    set(h, "missingValue", kMarker);
    set(h, "bitmapPresent", 1L);
  }
  check(codes_set_double_array(h, "values", values.data(), values.size()), "values");
  // Another packing repacks the values already set.
  if (m.packing != "grid_simple") set(h, "packingType", m.packing);
}

}  // namespace

std::vector<unsigned char> encode_grib(const GribMessage& m) {
  std::unique_ptr<codes_handle, HandleDeleter> handle(
      codes_grib_handle_new_from_samples(nullptr, !m.sample.empty() ? m.sample.c_str() : m.edition == 1 ? "GRIB1" : "GRIB2"));
  if (!handle) throw std::runtime_error("no GRIB sample");
  codes_handle* h = handle.get();
  set(h, "centre", m.centre);
  if (m.edition == 2 && m.centre == 98) {
    set(h, "setLocalDefinition", 1L);
    set(h, "localDefinitionNumber", 1L);
  }
  if (!m.mars_class.empty() && m.centre == 98) set(h, "marsClass", m.mars_class);
  set(h, "dataDate", m.date);
  set(h, "dataTime", m.time);
  if (m.sample.empty()) set(h, "gridType", std::string("regular_ll"));
  if (!m.short_name.empty()) {
    if (!m.level_type.empty()) set(h, "typeOfLevel", m.level_type);
    set(h, "shortName", m.short_name);
  } else {
    set(h, "paramId", m.param_id);
  }
  set_level(h, m);
  if (m.step != 0) set(h, "stepRange", std::to_string(m.step));
  if (m.sample.empty()) set_grid(h, m.grid);
  set_values(h, m);
  const void* message = nullptr;
  size_t length = 0;
  check(codes_get_message(h, &message, &length), "the message");
  const auto* bytes = static_cast<const unsigned char*>(message);
  return {bytes, bytes + length};
}

void append_grib(const std::string& path, const GribMessage& m) {
  const std::vector<unsigned char> bytes = encode_grib(m);
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
    throw std::runtime_error("cannot write " + path);
  }
}

}  // namespace testing_support
