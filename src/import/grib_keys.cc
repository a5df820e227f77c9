#include "import/grib_keys.h"

#include <cmath>
#include <mutex>

#include "common/failure.h"
#include "common/thread_scratch.h"
#include "import/library_guard.h"

namespace i2m {
namespace {

// ecCodes reports its own errors through a logging procedure; they are kept
// (per thread) and folded into the one diagnostic line instead of going to
// standard error.
// (A type of its own: thread_scratch keeps one object per type and thread.)
struct EccodesMessage {
  std::string text;
};
std::string& last_eccodes_message() { return thread_scratch<EccodesMessage>().text; }

void keep_eccodes_message(const codes_context*, int, const char* message) {
  // A C library's callback: nothing may leave it, not even bad_alloc.
  try {
    last_eccodes_message() = message != nullptr ? message : "";
  } catch (...) {
  }
}

void on_eccodes_assertion(const char* message) {
  static const std::string kNowhere;
  const std::string* place = library_place_in_hand();
  library_failure_handler()(place != nullptr ? *place : kNowhere, message);
}

}  // namespace

void configure_eccodes() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (library_failure_handler() != nullptr) codes_set_codes_assertion_failed_proc(on_eccodes_assertion);
    codes_context* context = codes_context_get_default();
    codes_context_set_logging_proc(context, keep_eccodes_message);
    // GFS packs u and v into one message with two fields; without this
    // ecCodes returns the first field only and v is silently lost.
    codes_grib_multi_support_on(context);
  });
}

std::string eccodes_reason(int error) {
  std::string reason = codes_get_error_message(error);
  std::string& last = last_eccodes_message();
  if (!last.empty() && last != reason) reason += " (" + last + ")";
  last.clear();
  return reason;
}

void fail_eccodes(const std::string& place, const std::string& what, int error) {
  // Near the address-space limit ecCodes reports a failed allocation as
  // any error of the data.
  if (error == GRIB_OUT_OF_MEMORY || memory_is_short()) fail_storage(place);
  fail_file(place, what + eccodes_reason(error));
}

long Keys::get_long(const char* key) const {
  long value = 0;
  const int error = codes_get_long(h_, key, &value);
  if (error != 0) fail_key(key, error);
  return value;
}

double Keys::get_double(const char* key) const {
  double value = 0;
  const int error = codes_get_double(h_, key, &value);
  if (error != 0) fail_key(key, error);
  return value;
}

std::string Keys::get_string(const char* key) const {
  std::optional<std::string> value = find_string(key);
  if (!value) fail_key(key, GRIB_NOT_FOUND);
  return *value;
}

std::optional<std::string> Keys::find_string(const char* key) const {
  char buffer[256];
  size_t length = sizeof buffer;
  if (codes_get_string(h_, key, buffer, &length) != 0) return std::nullopt;
  return std::string(buffer);
}

std::optional<long> Keys::find_long(const char* key) const {
  long value = 0;
  if (!codes_is_defined(h_, key) || codes_get_long(h_, key, &value) != 0 || is_missing(key)) return std::nullopt;
  return value;
}

bool Keys::is_missing(const char* key) const {
  int error = 0;
  return codes_is_missing(h_, key, &error) == 1 && error == 0;
}

void Keys::fail_key(const char* key, int error) const {
  fail_eccodes(place_, std::string("cannot read key ") + key + ": ", error);
}

// ecCodes' integer keys (level, topLevel) truncate: 150 Pa reads as level 1,
// and the 0.1 m top of a soil layer as 0.
std::optional<double> fixed_surface(const Keys& keys, const char* value_key, const char* scale_key) {
  if (keys.is_missing(value_key) || keys.is_missing(scale_key)) return std::nullopt;
  return static_cast<double>(keys.get_long(value_key)) * std::pow(10.0, -static_cast<double>(keys.get_long(scale_key)));
}

// Without the data section ecCodes cannot tell a grid from spectral data.
std::string grid_type_of(const Keys& keys) {
  if (std::optional<std::string> type = keys.find_string("gridType")) return *type;
  const long representation = keys.get_long("dataRepresentationType");
  const bool reduced = keys.get_long("PLPresent") != 0;
  switch (representation) {
    case 0: return reduced ? "reduced_ll" : "regular_ll";
    case 1: return "mercator";
    case 3: return "lambert";
    case 4: return reduced ? "reduced_gg" : "regular_gg";
    case 5: return "polar_stereographic";
    case 10: return "rotated_ll";
    case 14: return "rotated_gg";
    case 50: return "sh";
    default: return "of data representation type " + std::to_string(representation);
  }
}

MultiFieldReader::MultiFieldReader(void* bytes, size_t length) : file_(::fmemopen(bytes, length, "rb")) {}

MultiFieldReader::~MultiFieldReader() {
  if (file_ == nullptr) return;
  codes_grib_multi_support_reset_file(codes_context_get_default(), file_);
  std::fclose(file_);
}

Handle MultiFieldReader::next(int& error) {
  error = 0;
  if (file_ == nullptr) {
    error = GRIB_IO_PROBLEM;
    return nullptr;
  }
  return Handle(codes_handle_new_from_file(codes_context_get_default(), file_, PRODUCT_GRIB, &error));
}

}  // namespace i2m
