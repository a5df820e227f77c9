#include "import/grib_source.h"

#include <eccodes.h>
#include <grib_api.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <csignal>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "common/constants.h"
#include "common/failure.h"
#include "common/file_io.h"
#include "import/convert_values.h"
#include "import/data_time.h"
#include "import/library_guard.h"

#include "common/sanitizer.h"
#ifdef I2M_ADDRESS_SANITIZER
#include <sanitizer/common_interface_defs.h>
#endif

namespace i2m {
namespace {

constexpr double kGravity = 9.80665;  // m s-2: geopotential to geopotential height

// ecCodes reports its own errors through a logging procedure; they are kept
// (per thread) and folded into the one diagnostic line instead of going to
// standard error.
thread_local std::string last_eccodes_message;

void keep_eccodes_message(const codes_context*, int, const char* message) {
  last_eccodes_message = message != nullptr ? message : "";
}

GribFailureHandler failure_handler = nullptr;

void on_eccodes_assertion(const char* message) {
  static const std::string kNowhere;
  const std::string* place = library_place_in_hand();
  failure_handler(place != nullptr ? *place : kNowhere, message);
}

void configure_eccodes() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (failure_handler != nullptr) codes_set_codes_assertion_failed_proc(on_eccodes_assertion);
    codes_context* context = codes_context_get_default();
    codes_context_set_logging_proc(context, keep_eccodes_message);
    // GFS packs u and v into one message with two fields; without this
    // ecCodes returns the first field only and v is silently lost.
    codes_grib_multi_support_on(context);
  });
}

std::string eccodes_reason(int error) {
  std::string reason = codes_get_error_message(error);
  if (!last_eccodes_message.empty() && last_eccodes_message != reason) reason += " (" + last_eccodes_message + ")";
  last_eccodes_message.clear();
  return reason;
}

// Ends the run for an ecCodes error: memory it could not have with exit
// status 1 (the file is not to blame), anything else with exit status 2.
[[noreturn]] void fail_eccodes(const std::string& place, const std::string& what, int error) {
  if (error == GRIB_OUT_OF_MEMORY) fail_storage(place);
  fail_file(place, what + eccodes_reason(error));
}

struct HandleDeleter {
  void operator()(codes_handle* h) const { codes_handle_delete(h); }
};
using Handle = std::unique_ptr<codes_handle, HandleDeleter>;

// Reading keys of one message; a key that cannot be read ends the run
// naming the message.
class Keys {
 public:
  Keys(codes_handle* h, const std::string& place) : h_(h), place_(place) {}

  long get_long(const char* key) const {
    long value = 0;
    const int error = codes_get_long(h_, key, &value);
    if (error != 0) fail_key(key, error);
    return value;
  }
  double get_double(const char* key) const {
    double value = 0;
    const int error = codes_get_double(h_, key, &value);
    if (error != 0) fail_key(key, error);
    return value;
  }
  std::string get_string(const char* key) const {
    std::optional<std::string> value = find_string(key);
    if (!value) fail_key(key, GRIB_NOT_FOUND);
    return *value;
  }
  std::optional<std::string> find_string(const char* key) const {
    char buffer[256];
    size_t length = sizeof buffer;
    if (codes_get_string(h_, key, buffer, &length) != 0) return std::nullopt;
    return std::string(buffer);
  }
  std::optional<long> find_long(const char* key) const {
    long value = 0;
    if (!codes_is_defined(h_, key) || codes_get_long(h_, key, &value) != 0 || is_missing(key)) return std::nullopt;
    return value;
  }
  bool is_missing(const char* key) const {
    int error = 0;
    return codes_is_missing(h_, key, &error) == 1 && error == 0;
  }

 private:
  [[noreturn]] void fail_key(const char* key, int error) const {
    fail_eccodes(place_, std::string("cannot read key ") + key + ": ", error);
  }
  codes_handle* h_;
  const std::string& place_;
};

// How one recognised message is read back.
struct Location {
  int64_t offset = 0;      // of its message in the file
  int64_t length = 0;      // of its message
  int field_in_message = 0;  // 0 but for the later fields of a multi-field message
  bool south_first = false;
  bool east_first = false;
  double divisor = 1;  // the unit conversion: Pa to hPa, geopotential to height
  int kind = 0;        // which kind of message it is (see message_kind)
};

// What a parameter is to the importer.
struct Recognised {
  Quantity quantity;
  int preference = 0;
  double divisor = 1;
};

std::optional<Recognised> recognise_upper_air(const std::string& name) {
  if (name == "gh") return Recognised{Quantity::height, 0, 1};
  if (name == "z") return Recognised{Quantity::height, 1, kGravity};
  if (name == "r") return Recognised{Quantity::relative_humidity};
  if (name == "q") return Recognised{Quantity::specific_humidity};
  if (name == "t") return Recognised{Quantity::temperature};
  if (name == "u") return Recognised{Quantity::zonal_wind};
  if (name == "v") return Recognised{Quantity::meridional_wind};
  return std::nullopt;
}

std::optional<Recognised> recognise_surface(const std::string& name, const std::string& level_type) {
  // The mean sea-level pressure whatever its level type: ERA5's GRIB1 msl is
  // on "surface", GFS's prmsl on "meanSea". mslet (Eta reduction) is another quantity.
  if (name == "msl") return Recognised{Quantity::mean_sea_level_pressure, 0, 100};
  if (name == "prmsl") return Recognised{Quantity::mean_sea_level_pressure, 1, 100};
  if (name == "lsm") return Recognised{Quantity::land_sea_mask};
  if (level_type != "surface") return std::nullopt;
  if (name == "sp") return Recognised{Quantity::surface_pressure, 0, 100};
  if (name == "orog") return Recognised{Quantity::topography, 0, 1};
  if (name == "z") return Recognised{Quantity::topography, 1, kGravity};
  if (name == "gh") return Recognised{Quantity::topography, 2, 1};
  return std::nullopt;
}

// ERA5's soil layers by parameter id, since GRIB1 cannot hold the 289 cm
// bottom of layer 4: stl1..stl4 and swvl1..swvl4 with their depths in m.
struct Era5Layer {
  long param_id;
  Quantity quantity;
  double top, bottom;
};
constexpr Era5Layer kEra5Layers[] = {
    {139, Quantity::soil_temperature, 0.0, 0.07}, {170, Quantity::soil_temperature, 0.07, 0.28},
    {183, Quantity::soil_temperature, 0.28, 1.0}, {236, Quantity::soil_temperature, 1.0, 2.89},
    {39, Quantity::soil_moisture, 0.0, 0.07},     {40, Quantity::soil_moisture, 0.07, 0.28},
    {41, Quantity::soil_moisture, 0.28, 1.0},     {42, Quantity::soil_moisture, 1.0, 2.89},
};

std::optional<Quantity> recognise_soil(const std::string& name, const std::string& level_type) {
  if (level_type != "depthBelowLandLayer" && level_type != "depthBelowLand") return std::nullopt;
  // GFS soil temperature: "st" or "sot", and in older files "t".
  if (name == "st" || name == "sot" || name == "t") return Quantity::soil_temperature;
  if (name == "soilw" || name == "vsw") return Quantity::soil_moisture;
  return std::nullopt;
}

// A depth or pressure from a GRIB2 fixed surface: scaled value x 10^-scale.
// ecCodes' integer keys (level, topLevel) truncate: 150 Pa reads as level 1,
// and the 0.1 m top of a soil layer as 0.
std::optional<double> fixed_surface(const Keys& keys, const char* value_key, const char* scale_key) {
  if (keys.is_missing(value_key) || keys.is_missing(scale_key)) return std::nullopt;
  return static_cast<double>(keys.get_long(value_key)) * std::pow(10.0, -static_cast<double>(keys.get_long(scale_key)));
}

// Reads the fields of one message held in memory, one after the other,
// through ecCodes' multi-field file reader (its in-memory counterpart does
// not step through the fields). Its state is shared by the whole library:
// callers hold the source's multi-field lock.
class MultiFieldReader {
 public:
  MultiFieldReader(void* bytes, size_t length) : file_(::fmemopen(bytes, length, "rb")) {}
  ~MultiFieldReader() {
    if (file_ == nullptr) return;
    codes_grib_multi_support_reset_file(codes_context_get_default(), file_);
    std::fclose(file_);
  }
  MultiFieldReader(const MultiFieldReader&) = delete;
  MultiFieldReader& operator=(const MultiFieldReader&) = delete;

  // The next field, or null with `error` 0 after the last one.
  Handle next(int& error) {
    error = 0;
    if (file_ == nullptr) {
      error = GRIB_IO_PROBLEM;
      return nullptr;
    }
    return Handle(codes_handle_new_from_file(codes_context_get_default(), file_, PRODUCT_GRIB, &error));
  }

 private:
  std::FILE* file_;
};

// GFS for NCEP, ERA5 for ECMWF's reanalysis class, else the centre.
std::string model_name_of(const Keys& keys) {
  const std::string centre = keys.find_string("centre").value_or("");
  if (centre == "kwbc") return "GFS";
  if (centre == "ecmf" && keys.find_string("marsClass").value_or("") == "ea") return "ERA5";
  std::string name;
  for (char c : centre) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// What ecCodes calls a message's parameter and level type. These are
// "concepts", matched against ecCodes' parameter tables on every read,
// about a millisecond each: the importer reads them once per parameter of a
// file, keyed by the plain keys they are derived from (see below).
struct ParameterNames {
  std::string short_name;
  std::string level_type;
  long param_id = 0;
  std::string units;
};

// The plain keys that decide a message's parameter, level type and units:
// its tables, parameter numbers, level types, statistical processing, and
// its level values, except on isobaric levels, where the pressure names no
// other parameter (so that the 37 levels of one field share one entry).
std::vector<long> parameter_identity(codes_handle* h, long edition) {
  static constexpr const char* kGrib1[] = {"centre", "subCentre", "table2Version", "indicatorOfParameter",
                                           "indicatorOfTypeOfLevel", "timeRangeIndicator", "localDefinitionNumber"};
  static constexpr const char* kGrib2[] = {"centre", "subCentre", "tablesVersion", "localTablesVersion", "discipline",
                                           "parameterCategory", "parameterNumber", "productDefinitionTemplateNumber",
                                           "typeOfFirstFixedSurface", "typeOfSecondFixedSurface",
                                           "typeOfStatisticalProcessing", "constituentType", "aerosolType",
                                           "localDefinitionNumber"};
  static constexpr const char* kGrib1Level[] = {"level"};
  static constexpr const char* kGrib2Level[] = {"scaleFactorOfFirstFixedSurface", "scaledValueOfFirstFixedSurface",
                                                "scaleFactorOfSecondFixedSurface", "scaledValueOfSecondFixedSurface"};
  std::vector<long> identity{edition};
  auto add = [&](const char* key) {
    long value = LONG_MIN;  // absent from this message
    codes_get_long(h, key, &value);
    identity.push_back(value);
  };
  if (edition == 1) {
    for (const char* key : kGrib1) add(key);
    const long type = identity[5];
    if (type != 100 && type != 210) add(kGrib1Level[0]);  // hPa and ECMWF's Pa
  } else {
    for (const char* key : kGrib2) add(key);
    if (identity[9] != 100 || identity[10] != 255) {
      for (const char* key : kGrib2Level) add(key);
    }
  }
  return identity;
}

// ecCodes loads the definitions of a kind of message lazily, the first time
// it parses or decodes one, and when two threads load the same definition
// file at once a copy is lost (seen here as a leak). So the first field of
// each kind is decoded alone, under this lock; the rest run in parallel. A
// kind is a parameter with its level type, grid, packing and bitmap.
std::mutex first_decode_mutex;

std::vector<long> message_kind(codes_handle* h, std::vector<long> identity) {
  static constexpr const char* kLayout[] = {"bitmapPresent", "dataRepresentationType", "gridDefinitionTemplateNumber",
                                            "dataRepresentationTemplateNumber"};
  for (const char* key : kLayout) {
    long value = LONG_MIN;
    codes_get_long(h, key, &value);
    identity.push_back(value);
  }
  return identity;
}

// The ensemble member of a message, or kNoMember. ECMWF's GRIB1 headers
// carry a number 0 in deterministic data too; only a message that states
// an ensemble (or does not say how large its ensemble is) is a member.
int64_t member_of(const Keys& keys) {
  const std::optional<long> number = keys.find_long("number");
  if (!number) return kNoMember;
  const std::optional<long> ensemble = keys.find_long("numberOfForecastsInEnsemble");
  if (ensemble && *ensemble == 0) return kNoMember;
  return *number;
}

class GribSource : public Source {
 public:
  GribSource(const std::string& path, int index) : Source(path), index_(index) {}
  ~GribSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  GribSource(const GribSource&) = delete;
  GribSource& operator=(const GribSource&) = delete;

  void take_inventory();
  size_t read(const FieldInfo& field, float* values) const override;

 private:
  std::string place(int message, int field_in_message) const;
  void check_gap(int fd, int64_t from, int64_t to, int next_message) const;
  void check_message_end(int64_t offset, int64_t length, int message) const;
  void add_message(std::vector<unsigned char>& bytes, size_t length, int64_t offset, int message);
  void read_bytes(std::vector<unsigned char>& bytes, size_t n, int64_t offset, const std::string& place) const;
  void add_field(codes_handle* h, Location location, int message);
  const ParameterNames& names_of(const std::vector<long>& identity, const Keys& keys);
  bool classify(const Keys& keys, long edition, const ParameterNames& names, FieldInfo& info, Location& location) const;
  LatLonGrid read_grid(const Keys& keys, Location& location) const;
  Handle handle_for(const Location& at, std::vector<unsigned char>& bytes, const std::string& place) const;

  int index_;
  bool seen_edition_[3] = {false, false, false};
  std::vector<Location> locations_;
  std::map<std::vector<long>, ParameterNames> names_;
  std::map<std::vector<long>, int> kinds_;
  // One flag per kind, set once its first field has been decoded.
  std::unique_ptr<std::atomic<bool>[]> decoded_once_;
  int fd_ = -1;  // open for the source's life; pread() lets threads share it
  mutable std::mutex multi_field_mutex_;
};

std::string GribSource::place(int message, int field_in_message) const {
  std::string s = path_ + ": message " + std::to_string(message);
  if (field_in_message > 0) s += " (field " + std::to_string(field_in_message + 1) + ")";
  return s;
}

// ecCodes skips whatever lies between messages without a word; a file of
// the importer's may hold nothing but messages (and zero padding).
void GribSource::check_gap(int fd, int64_t from, int64_t to, int next_message) const {
  std::vector<unsigned char> bytes(static_cast<size_t>(std::min<int64_t>(to - from, 1 << 20)));
  for (int64_t at = from; at < to;) {
    const auto n = static_cast<size_t>(std::min<int64_t>(to - at, static_cast<int64_t>(bytes.size())));
    if (::pread(fd, bytes.data(), n, at) != static_cast<ssize_t>(n)) fail_file_errno(path_, "cannot read");
    for (size_t b = 0; b < n; ++b) {
      if (bytes[b] != 0) {
        fail_file(path_, "bytes " + std::to_string(from) + " to " + std::to_string(to - 1) +
                             (next_message > 0 ? " before message " + std::to_string(next_message) : " after the last message") +
                             " are not GRIB");
      }
    }
    at += static_cast<int64_t>(n);
  }
}

// A damaged length field makes ecCodes' reader take too few or too many
// bytes for a message; the end marker tells, before the rest of the file is
// taken for stray bytes.
void GribSource::check_message_end(int64_t offset, int64_t length, int message) const {
  char marker[4] = {};
  const bool ends = length >= 12 && ::pread(fd_, marker, 4, offset + length - 4) == 4 && std::memcmp(marker, "7777", 4) == 0;
  if (!ends) {
    fail_file(place(message, 0), "does not end with the GRIB end marker 7777 where its length says: the message is "
                                 "damaged (it starts at byte " + std::to_string(offset) + ", its length field gives " +
                                 std::to_string(length) + " bytes)");
  }
}

// Finds every message with ecCodes' own message reader, asked for no more
// than the start of each: it reports where a message starts and how long it
// is, and the data are not read at all. The inventory then needs the
// headers only: of a GRIB1 message (one field each) its first bytes, of a
// GRIB2 message the whole, since its fields must be counted.
constexpr size_t kReaderRoom = 65536;

void GribSource::take_inventory() {
  configure_eccodes();
  std::FILE* file = std::fopen(path_.c_str(), "rb");
  if (file == nullptr) fail_file_errno(path_, "cannot open");
  struct stat st {};
  if (::fstat(fileno(file), &st) != 0) fail_file_errno(path_, "cannot read");
  fd_ = ::fcntl(fileno(file), F_DUPFD_CLOEXEC, 0);
  if (fd_ < 0) fail_file_errno(path_, "cannot open");
  std::vector<unsigned char> bytes;
  // ecCodes' reader may write past a small buffer while it works out the
  // length of a damaged GRIB1 message; with this much room it does not.
  std::vector<unsigned char> start(kReaderRoom);
  int64_t end_of_last = 0;
  int message = 0;
  for (;;) {
    size_t length = 16;
    const int error = wmo_read_grib_from_file(file, start.data(), &length);
    if (error == GRIB_END_OF_FILE) break;
    if (error != 0 && error != GRIB_BUFFER_TOO_SMALL) {
      std::fclose(file);
      fail_eccodes(path_, "cannot read the message after byte " + std::to_string(end_of_last) + ": ", error);
    }
    // A message too long for the 16 bytes asked leaves the file 4 bytes into
    // it, past "GRIB".
    const int64_t offset = ::ftello(file) - (error == 0 ? static_cast<int64_t>(length) : 4);
    ++message;
    if (offset + static_cast<int64_t>(length) > st.st_size) {
      std::fclose(file);
      fail_file(path_, "message " + std::to_string(message) + " is cut short: it starts at byte " +
                           std::to_string(offset) + " and needs " + std::to_string(length) + " bytes, the file ends after " +
                           std::to_string(st.st_size - offset));
    }
    check_message_end(offset, static_cast<int64_t>(length), message);
    if (offset != end_of_last) check_gap(fd_, end_of_last, offset, message);
    end_of_last = offset + static_cast<int64_t>(length);
    if (::fseeko(file, end_of_last, SEEK_SET) != 0) fail_file_errno(path_, "cannot read");
    add_message(bytes, length, offset, message);
  }
  std::fclose(file);
  if (message == 0) fail_file(path_, "holds no GRIB message");
  if (end_of_last < st.st_size) check_gap(fd_, end_of_last, st.st_size, 0);
  kind_ = seen_edition_[1] && seen_edition_[2] ? "GRIB1 and GRIB2" : seen_edition_[2] ? "GRIB2" : "GRIB1";
  decoded_once_ = std::make_unique<std::atomic<bool>[]>(kinds_.size());
}

// ecCodes' multi-field reader frees memory twice on some damaged messages,
// which ends the process. Such work runs first in a child process (with
// its standard error closed, as the C library reports the double free
// there); the caller repeats it only when the child came through. Failures
// of the importer's own in the child are left for the caller to meet.
bool survives_in_child(const std::function<void()>& work) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return true;  // no check possible; the work itself runs anyway
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, STDERR_FILENO);
    // The child's end is the parent's answer, not a crash of the program:
    // handlers that a harness installed for the parent (a fuzzer's) are
    // taken away.
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) std::signal(signal, SIG_DFL);
#ifdef I2M_ADDRESS_SANITIZER
    __sanitizer_set_death_callback(nullptr);
#endif
    try {
      work();
    } catch (...) {
    }
    std::_Exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A message must end with its end marker before ecCodes parses it whole:
// its multi-field reader frees memory twice on a message without one.
void check_end_marker(const std::vector<unsigned char>& bytes, const std::string& place) {
  if (codes_check_message_footer(bytes.data(), bytes.size(), PRODUCT_GRIB) != 0) {
    fail_file(place, "does not end with the GRIB end marker 7777 where its length says: the message is damaged");
  }
}

// Reads `n` bytes of the file at `offset` into `bytes`.
void GribSource::read_bytes(std::vector<unsigned char>& bytes, size_t n, int64_t offset, const std::string& place) const {
  bytes.resize(n);
  if (::pread(fd_, bytes.data(), n, offset) != static_cast<ssize_t>(n)) {
    fail_file(place, "cannot be read: the file has changed since it was opened");
  }
}

// Lists the fields of one message. A GRIB1 message holds one field, and
// its headers lie in its first bytes; a GRIB2 message is read whole: most
// hold one field, parsed straight from the bytes, but GFS's wind messages
// hold two, which only ecCodes' multi-field reader steps through.
void GribSource::add_message(std::vector<unsigned char>& bytes, size_t length, int64_t offset, int message) {
  const std::string where = place(message, 0);
  const LibraryAtWork in_hand(where);
  constexpr size_t kGrib1Headers = 65536;  // more than a latitude-longitude grid's headers take
  read_bytes(bytes, std::min(length, kGrib1Headers), offset, place(message, 0));
  // Byte 8 of every GRIB message, after "GRIB" and the length, is the edition.
  const bool edition1 = bytes.size() > 7 && bytes[7] == 1;
  if (!edition1) {
    if (bytes.size() < length) read_bytes(bytes, length, offset, place(message, 0));
    check_end_marker(bytes, place(message, 0));
  }
  const Location location{offset, static_cast<int64_t>(length), 0};
  Handle first(edition1 ? codes_handle_new_from_partial_message(codes_context_get_default(), bytes.data(), bytes.size())
                        : codes_handle_new_from_message(codes_context_get_default(), bytes.data(), bytes.size()));
  if (!first) fail_file(place(message, 0), "cannot be decoded: " + eccodes_reason(GRIB_DECODING_ERROR));
  // Section 8 (the end marker "7777") right after the first field's data
  // section means there is no other field.
  long section8 = 0;
  if (edition1 || codes_get_long(first.get(), "offsetSection8", &section8) != 0 ||
      section8 == static_cast<long>(length) - 4) {
    add_field(first.get(), location, message);
    return;
  }
  // Another field follows only a complete one: a message whose sections
  // stop short of its end is damaged (and ecCodes' multi-field reader frees
  // memory twice on some of those).
  if (!codes_is_defined(first.get(), "section7Length")) {
    fail_file(place(message, 0), "its sections end before its end marker: the message is damaged");
  }
  first.reset();
  std::lock_guard<std::mutex> lock(multi_field_mutex_);
  auto add_fields = [&] {
    MultiFieldReader reader(bytes.data(), length);
    for (int field_in_message = 0;; ++field_in_message) {
      int error = 0;
      Handle h = reader.next(error);
      if (!h) {
        if (field_in_message > 0 && error == 0) break;
        fail_eccodes(place(message, field_in_message), "cannot be decoded: ", error != 0 ? error : GRIB_DECODING_ERROR);
      }
      add_field(h.get(), Location{offset, static_cast<int64_t>(length), field_in_message}, message);
    }
  };
  if (!survives_in_child(add_fields)) {
    fail_file(where, "ecCodes cannot step through the fields of this message: the message is damaged");
  }
  add_fields();
}

// Sets quantity, level and preference of a recognised field; false for a
// field the importer does not use.
bool GribSource::classify(const Keys& keys, long edition, const ParameterNames& names, FieldInfo& info,
                          Location& location) const {
  const std::string& name = names.short_name;
  const std::string& level_type = names.level_type;
  info.name = name;
  info.units = names.units;
  const bool isobaric = level_type == "isobaricInhPa" || level_type == "isobaricInPa";
  if (const std::optional<Recognised> r = isobaric ? recognise_upper_air(name) : std::nullopt) {
    info.quantity = r->quantity;
    info.preference = r->preference;
    location.divisor = r->divisor;
    if (edition == 2) {
      const std::optional<double> pa = fixed_surface(keys, "scaledValueOfFirstFixedSurface", "scaleFactorOfFirstFixedSurface");
      if (!pa) return false;
      info.level = *pa;
    } else {
      const double level = static_cast<double>(keys.get_long("level"));
      info.level = level_type == "isobaricInhPa" ? level * 100.0 : level;
    }
    return true;
  }
  if (const std::optional<Recognised> r = recognise_surface(name, level_type)) {
    info.quantity = r->quantity;
    info.preference = r->preference;
    location.divisor = r->divisor;
    return true;
  }
  for (const Era5Layer& layer : kEra5Layers) {
    if (layer.param_id == names.param_id) {
      info.quantity = layer.quantity;
      info.level = layer.top;
      info.layer_bottom = layer.bottom;
      return true;
    }
  }
  const std::optional<Quantity> soil = recognise_soil(name, level_type);
  if (!soil) return false;
  info.quantity = *soil;
  if (edition == 2) {
    const std::optional<double> top = fixed_surface(keys, "scaledValueOfFirstFixedSurface", "scaleFactorOfFirstFixedSurface");
    if (!top) return false;
    info.level = *top;
    info.layer_bottom = fixed_surface(keys, "scaledValueOfSecondFixedSurface", "scaleFactorOfSecondFixedSurface").value_or(*top);
  } else {
    // GRIB1 layers are in cm.
    info.level = static_cast<double>(keys.get_long("topLevel")) / 100.0;
    info.layer_bottom = static_cast<double>(keys.get_long("bottomLevel")) / 100.0;
  }
  return true;
}

// ecCodes' gridType, or, for the header-only view of a GRIB1 message (where
// ecCodes cannot tell a grid from spectral data without the data section),
// the same name from the grid's data representation type.
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

std::string unsupported_grid_type(const std::string& type) {
  return "grid type " + type + ": only regular latitude-longitude grids can be imported";
}

// A grid the importer cannot take is returned with its problem set, so that
// a listing still shows the field; importing it ends the run.
LatLonGrid GribSource::read_grid(const Keys& keys, Location& location) const {
  LatLonGrid g;
  auto unsupported = [&g](std::string reason) {
    g = LatLonGrid{};
    g.problem = std::move(reason);
    return g;
  };
  const std::string type = grid_type_of(keys);
  if (type != "regular_ll") return unsupported(unsupported_grid_type(type));
  if (keys.get_long("jPointsAreConsecutive") != 0) return unsupported("columns stored before rows cannot be imported");
  g.ni = static_cast<int32_t>(keys.get_long("Ni"));
  g.nj = static_cast<int32_t>(keys.get_long("Nj"));
  if (g.ni < 2 || g.nj < 2) {
    return unsupported("a grid of " + std::to_string(g.ni) + " x " + std::to_string(g.nj) + " points (at least 2 x 2 are needed)");
  }
  location.south_first = keys.get_long("jScansPositively") != 0;
  location.east_first = keys.get_long("iScansNegatively") != 0;
  const double lat_first = keys.get_double("latitudeOfFirstGridPointInDegrees");
  const double lat_last = keys.get_double("latitudeOfLastGridPointInDegrees");
  const double lon_first = keys.get_double("longitudeOfFirstGridPointInDegrees");
  const double lon_last = keys.get_double("longitudeOfLastGridPointInDegrees");
  g.south = location.south_first ? lat_first : lat_last;
  const double north = location.south_first ? lat_last : lat_first;
  if (!(north > g.south)) return unsupported("its latitudes do not run in its scanning direction");
  g.west = location.east_first ? lon_last : lon_first;
  double span = (location.east_first ? lon_first : lon_last) - g.west;
  if (span <= 0) span += 360.0;
  g.dlat = (north - g.south) / (g.nj - 1);
  g.dlon = span / (g.ni - 1);
  // The corners give the steps more precisely than the stated increments
  // (GRIB1 states them in thousandths of a degree); a stated step that
  // disagrees with the corners means the grid is not what it says.
  const double stated[] = {keys.get_double("iDirectionIncrementInDegrees"), keys.get_double("jDirectionIncrementInDegrees")};
  const double derived[] = {g.dlon, g.dlat};
  for (int d = 0; d < 2; ++d) {
    if (stated[d] > 0 && stated[d] < 360 && std::fabs(stated[d] - derived[d]) > 0.0005) {
      return unsupported("its corners and its increment disagree: the points are not equally spaced");
    }
  }
  const long points = keys.get_long("numberOfDataPoints");
  if (static_cast<size_t>(points) != g.points()) {
    return unsupported("holds " + std::to_string(points) + " points for a grid of " + std::to_string(g.ni) + " x " +
                       std::to_string(g.nj));
  }
  return g;
}

const ParameterNames& GribSource::names_of(const std::vector<long>& identity, const Keys& keys) {
  auto it = names_.find(identity);
  if (it == names_.end()) {
    ParameterNames names;
    names.short_name = keys.get_string("shortName");
    names.level_type = keys.get_string("typeOfLevel");
    names.param_id = keys.get_long("paramId");
    names.units = keys.find_string("units").value_or("");
    it = names_.emplace(identity, std::move(names)).first;
  }
  return it->second;
}

void GribSource::add_field(codes_handle* h, Location location, int message) {
  const std::string where = place(message, location.field_in_message);
  const Keys keys(h, where);
  ++field_count_;
  const long edition = keys.get_long("edition");
  if (edition == 1 || edition == 2) seen_edition_[edition] = true;
  if (model_name_.empty()) model_name_ = model_name_of(keys);
  std::vector<long> identity = parameter_identity(h, edition);
  const ParameterNames& names = names_of(identity, keys);
  location.kind = kinds_.emplace(message_kind(h, std::move(identity)), static_cast<int>(kinds_.size())).first->second;
  FieldInfo info;
  if (!classify(keys, edition, names, info, location)) {
    count_ignored(ignored_, names.short_name + " on " + names.level_type);
    // Only the type of an ignored field's grid is read: its other keys
    // matter to nothing but a listing.
    const std::string type = grid_type_of(keys);
    if (type != "regular_ll") note_grid(unsupported_grid_type(type));
    return;
  }
  CivilTime t{};
  const long date = keys.get_long("validityDate");
  const long time = keys.get_long("validityTime");
  t.year = date / 10000;
  t.month = static_cast<int>(date / 100 % 100);
  t.day = static_cast<int>(date % 100);
  t.hour = static_cast<int>(time / 100);
  t.minute = static_cast<int>(time % 100);
  if (!valid_civil(t)) fail_file(where, "validity time " + std::to_string(date) + " " + std::to_string(time) + " is not a date");
  info.valid_time = seconds_from_civil(t);
  info.grid = read_grid(keys, location);
  note_grid(describe_grid(info.grid));
  info.member = member_of(keys);
  info.place = where;
  info.source = index_;
  info.locator = locations_.size();
  locations_.push_back(location);
  fields_.push_back(info);
}

// A handle on the field at `at`, its message read into `bytes`. Later
// fields of a multi-field message take the shared multi-field reader;
// the caller then holds the lock.
Handle GribSource::handle_for(const Location& at, std::vector<unsigned char>& bytes, const std::string& place) const {
  read_bytes(bytes, static_cast<size_t>(at.length), at.offset, place);
  check_end_marker(bytes, place);
  int error = 0;
  Handle h;
  if (at.field_in_message == 0) {
    h.reset(codes_handle_new_from_message(codes_context_get_default(), bytes.data(), bytes.size()));
  } else {
    MultiFieldReader reader(bytes.data(), bytes.size());
    for (int k = 0; k <= at.field_in_message; ++k) {
      h = reader.next(error);
      if (!h) break;
    }
  }
  if (!h) fail_eccodes(place, "cannot be decoded: ", error != 0 ? error : GRIB_DECODING_ERROR);
  return h;
}

size_t GribSource::read(const FieldInfo& field, float* values) const {
  const Location& at = locations_[field.locator];
  std::optional<LibraryAtWork> in_hand(std::in_place, field.place);
  // Kept per thread and reused: a field's message and its decoded doubles.
  thread_local std::vector<unsigned char> bytes;
  thread_local std::vector<double> decoded;
  std::atomic<bool>& decoded_once = decoded_once_[static_cast<size_t>(at.kind)];
  std::unique_lock<std::mutex> first(first_decode_mutex, std::defer_lock);
  if (!decoded_once.load(std::memory_order_acquire)) first.lock();
  std::unique_lock<std::mutex> lock(multi_field_mutex_, std::defer_lock);
  if (at.field_in_message > 0) lock.lock();
  Handle h = handle_for(at, bytes, field.place);
  // NaN as the missing value: ecCodes' default, 9999, is a real height
  // between 300 and 250 hPa, and must stay a value.
  int error = codes_set_double(h.get(), "missingValue", std::nan(""));
  size_t n = 0;
  if (error == 0) error = codes_get_size(h.get(), "values", &n);
  if (error == 0 && n != field.grid.points()) fail_file(field.place, "decodes to " + std::to_string(n) + " values, its grid has " + std::to_string(field.grid.points()));
  decoded.resize(n);
  if (error == 0) error = codes_get_double_array(h.get(), "values", decoded.data(), &n);
  if (error != 0) fail_eccodes(field.place, "cannot decode: ", error);
  h.reset();
  if (lock.owns_lock()) lock.unlock();
  if (first.owns_lock()) {
    decoded_once.store(true, std::memory_order_release);
    first.unlock();
  }
  in_hand.reset();  // ecCodes is done with the field

  const auto ni = static_cast<size_t>(field.grid.ni);
  const auto nj = static_cast<size_t>(field.grid.nj);
  size_t missing = 0;
  for (size_t j = 0; j < nj; ++j) {
    const double* row = decoded.data() + (at.south_first ? j : nj - 1 - j) * ni;
    missing += convert_row(row, ni, at.divisor, at.east_first, values + j * ni);
  }
  return missing;
}

}  // namespace

void set_grib_failure_handler(GribFailureHandler handler) { failure_handler = handler; }


std::unique_ptr<Source> open_grib_source(const std::string& path, int index) {
  auto source = std::make_unique<GribSource>(path, index);
  source->take_inventory();
  return source;
}

}  // namespace i2m
