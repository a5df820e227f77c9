#include "import/grib_source.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/thread_scratch.h"
#include "import/convert_values.h"
#include "import/grib_fields.h"
#include "import/grib_grid.h"
#include "import/grib_keys.h"
#include "import/grib_scan.h"
#include "import/library_guard.h"

namespace i2m {
namespace {

// ecCodes loads the definitions of a kind of message lazily, the first time
// it parses or decodes one, and when two threads load the same definition
// file at once a copy is lost (seen here as a leak). So the first field of
// each kind is decoded alone, under this lock; the rest run in parallel. A
// kind is a parameter with its level type, grid, packing and bitmap.
std::mutex first_decode_mutex;

// Each worker's buffers for decoding, one type each.
struct MessageScratch {
  std::vector<unsigned char> bytes;
};
struct DecodeScratch {
  std::vector<double> values;
};

class GribSource : public Source {
 public:
  // `path` names the source in diagnostics, `open_path` is where it is read.
  GribSource(std::string path, std::string open_path, int index)
      : path_(std::move(path)), open_path_(std::move(open_path)), index_(index) {}

  // Scans the file; its inventory, once, with `source` set to the index.
  SourceInventory scan();
  size_t read(const FieldInfo& field, float* values) const override { return read_values(field, values); }
  size_t read(const FieldInfo& field, double* values) const override { return read_values(field, values); }

 private:
  std::string place(int message, int field_in_message) const { return grib_message_place(path_, message, field_in_message); }
  void add_message(std::vector<unsigned char>& bytes, const GribMessageSpan& span);
  void add_fields_of_multi_field_message(std::vector<unsigned char>& bytes, const GribMessageSpan& span);
  void read_bytes(std::vector<unsigned char>& bytes, size_t n, int64_t offset, const std::string& place) const;
  void add_field(codes_handle* h, GribLocation location, int message);
  const ParameterNames& names_of(const std::vector<long>& identity, const Keys& keys);
  GribGrid grid_of(const Keys& keys, const GribLocation& location, const std::string& place);
  std::shared_ptr<const HybridCoefficients> coefficients_of(const Keys& keys);
  template <typename T>
  size_t read_values(const FieldInfo& field, T* values) const;
  Handle handle_for(const GribLocation& at, std::vector<unsigned char>& bytes, const std::string& place) const;
  void decode(const FieldInfo& field, std::vector<double>& decoded) const;

  std::string path_;
  std::string open_path_;
  int index_;
  SourceInventory inventory_;  // while scanning
  bool seen_edition_[3] = {false, false, false};
  std::vector<GribLocation> locations_;
  std::map<std::vector<long>, ParameterNames> names_;
  std::map<std::vector<long>, int> kinds_;
  // The grids met so far, by the checksum of their grid section: each is
  // read (and a grid of rows located point by point) once per file.
  std::map<std::string, GribGrid> grids_;
  // The hybrid coefficients met so far: one object for each set.
  std::map<HybridCoefficients, std::shared_ptr<const HybridCoefficients>> coefficients_;
  // One flag per kind, set once its first field has been decoded.
  std::unique_ptr<std::atomic<bool>[]> decoded_once_;
  UniqueFd fd_;  // open for the source's life; pread() lets threads share it
  mutable std::mutex multi_field_mutex_;
};

SourceInventory GribSource::scan() {
  inventory_.path = path_;
  std::vector<unsigned char> bytes;
  fd_ = UniqueFd(open_for_reading(open_path_));
  const std::vector<SkippedBytes> skipped =
      scan_grib_messages(path_, fd_.get(), [&](const GribMessageSpan& span) { add_message(bytes, span); });
  if (!skipped.empty()) inventory_.notes.push_back(describe_skipped(skipped) + " that belong to no GRIB message");
  inventory_.kind = seen_edition_[1] && seen_edition_[2] ? "GRIB1 and GRIB2" : seen_edition_[2] ? "GRIB2" : "GRIB1";
  decoded_once_ = std::make_unique<std::atomic<bool>[]>(kinds_.size());
  return std::move(inventory_);
}

// The grid definition template number of a GRIB2 message (octets 13-14 of
// section 3), found by stepping over its sections' lengths; -1 when the
// bytes do not hold one. Only for a diagnostic, where ecCodes cannot parse
// the message.
long grib2_grid_template(const std::vector<unsigned char>& bytes) {
  auto number = [&](size_t at, size_t width) {
    uint64_t value = 0;
    for (size_t k = 0; k < width; ++k) value = value << 8 | bytes[at + k];
    return value;
  };
  for (size_t at = 16; at + 5 <= bytes.size();) {
    const uint64_t length = number(at, 4);
    if (length < 5) return -1;
    if (bytes[at + 4] == 3) return at + 14 <= bytes.size() ? static_cast<long>(number(at + 12, 2)) : -1;
    at += length;
  }
  return -1;
}

// Whether ecCodes has a definition of GRIB2 grid template `n`.
bool grid_template_known(long n) {
  const char* definitions = codes_definition_path(nullptr);
  const std::string file = "/grib2/template.3." + std::to_string(n) + ".def";
  for (std::string_view paths = definitions != nullptr ? definitions : ""; !paths.empty();) {
    const size_t colon = paths.find(':');
    if (::access((std::string(paths.substr(0, colon)) + file).c_str(), R_OK) == 0) return true;
    if (colon == std::string_view::npos) break;
    paths.remove_prefix(colon + 1);
  }
  return definitions == nullptr;  // nowhere to look: not the template's fault
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
  if (::pread(fd_.get(), bytes.data(), n, offset) != static_cast<ssize_t>(n)) {
    fail_file(place, "cannot be read: the file has changed since it was opened");
  }
}

// Lists the fields of one message. A GRIB1 message holds one field, and
// its headers lie in its first bytes; a GRIB2 message is read whole: most
// hold one field, parsed straight from the bytes, but GFS's wind messages
// hold two, which only ecCodes' multi-field reader steps through.
void GribSource::add_message(std::vector<unsigned char>& bytes, const GribMessageSpan& span) {
  const std::string where = place(span.number, 0);
  const LibraryAtWork in_hand(where);
  constexpr size_t kGrib1Headers = 65536;  // more than a latitude-longitude grid's headers take
  read_bytes(bytes, std::min(span.length, kGrib1Headers), span.offset, where);
  // Byte 8 of every GRIB message, after "GRIB" and the length, is the edition.
  const bool edition1 = bytes.size() > 7 && bytes[7] == 1;
  if (!edition1) {
    if (bytes.size() < span.length) read_bytes(bytes, span.length, span.offset, where);
    check_end_marker(bytes, where);
    // A grid ecCodes does not know (HEALPix, 3.150) fails its parse with a
    // message about the end marker; the template says what the file is.
    const long grid_template = grib2_grid_template(bytes);
    if (grid_template >= 0 && !grid_template_known(grid_template)) {
      fail_file(where, "its grid definition template 3." + std::to_string(grid_template) +
                           " is one ecCodes does not know (HEALPix is 3.150): only latitude-longitude and Gaussian "
                           "grids can be imported");
    }
  }
  Handle first(edition1 ? codes_handle_new_from_partial_message(codes_context_get_default(), bytes.data(), bytes.size())
                        : codes_handle_new_from_message(codes_context_get_default(), bytes.data(), bytes.size()));
  if (!first) fail_file(where, "cannot be decoded: " + eccodes_reason(GRIB_DECODING_ERROR));
  // Section 8 (the end marker "7777") right after the first field's data
  // section means there is no other field.
  long section8 = 0;
  if (edition1 || codes_get_long(first.get(), "offsetSection8", &section8) != 0 ||
      section8 == static_cast<long>(span.length) - 4) {
    add_field(first.get(), GribLocation{span.offset, static_cast<int64_t>(span.length), 0}, span.number);
    return;
  }
  // Another field follows only a complete one: a message whose sections
  // stop short of its end is damaged (and ecCodes' multi-field reader frees
  // memory twice on some of those).
  if (!codes_is_defined(first.get(), "section7Length")) {
    fail_file(where, "its sections end before its end marker: the message is damaged");
  }
  first.reset();
  add_fields_of_multi_field_message(bytes, span);
}

// The fields of a message that holds several, stepped through first in a
// child process: ecCodes' reader frees memory twice on some damaged ones.
void GribSource::add_fields_of_multi_field_message(std::vector<unsigned char>& bytes, const GribMessageSpan& span) {
  std::lock_guard<std::mutex> lock(multi_field_mutex_);
  auto add_fields = [&] {
    MultiFieldReader reader(bytes.data(), span.length);
    for (int field_in_message = 0;; ++field_in_message) {
      int error = 0;
      Handle h = reader.next(error);
      if (!h) {
        if (field_in_message > 0 && error == 0) break;
        fail_eccodes(place(span.number, field_in_message), "cannot be decoded: ", error != 0 ? error : GRIB_DECODING_ERROR);
      }
      add_field(h.get(), GribLocation{span.offset, static_cast<int64_t>(span.length), field_in_message}, span.number);
    }
  };
  if (!survives_in_child(add_fields)) {
    fail_file(place(span.number, 0), "ecCodes cannot step through the fields of this message: the message is damaged");
  }
  add_fields();
}

const ParameterNames& GribSource::names_of(const std::vector<long>& identity, const Keys& keys) {
  auto it = names_.find(identity);
  if (it == names_.end()) it = names_.emplace(identity, read_parameter_names(keys)).first;
  return it->second;
}

void GribSource::add_field(codes_handle* h, GribLocation location, int message) {
  const std::string where = place(message, location.field_in_message);
  const Keys keys(h, where);
  ++inventory_.field_count;
  const long edition = keys.get_long("edition");
  if (edition == 1 || edition == 2) seen_edition_[edition] = true;
  if (inventory_.model_name.empty()) inventory_.model_name = model_name_of(keys);
  std::vector<long> identity = parameter_identity(h, edition);
  const ParameterNames& names = names_of(identity, keys);
  location.kind = kinds_.emplace(message_kind(h, std::move(identity)), static_cast<int>(kinds_.size())).first->second;
  FieldInfo info;
  std::string ignored;
  const bool recognised = classify_field(keys, edition, names, info, location, ignored);
  if (const std::string why = recognised ? not_instantaneous(keys, names) : ""; !why.empty()) {
    inventory_.count_ignored(why);
    return;
  }
  if (!recognised) {
    inventory_.count_ignored(ignored.empty() ? names.short_name + " on " + names.level_type : ignored);
    // Only the type of an ignored field's grid is read: its other keys
    // matter to nothing but a listing.
    const std::string type = grid_type_of(keys);
    if (type != "regular_ll") inventory_.note_grid("grid type " + type + " (of fields not used)");
    return;
  }
  info.valid_time = validity_time(keys, where);
  const GribGrid grid = grid_of(keys, location, where);
  info.grid = grid.grid;
  location.south_first = grid.south_first;
  location.east_first = grid.east_first;
  inventory_.note_grid(describe_grid(*info.grid));
  info.member = member_of(keys);
  if (info.level.kind == LevelKind::hybrid) info.hybrid = coefficients_of(keys);
  info.place = where;
  info.source = index_;
  info.locator = locations_.size();
  locations_.push_back(location);
  inventory_.fields.push_back(info);
}

// The grid of the field behind `keys`, read once per kind of grid section.
// A grid of rows is located point by point, which takes the whole message:
// a GRIB1 message was scanned from its headers only.
GribGrid GribSource::grid_of(const Keys& keys, const GribLocation& location, const std::string& place) {
  const std::string section = keys.find_string("md5GridSection").value_or("");
  if (const auto it = grids_.find(section); !section.empty() && it != grids_.end()) return it->second;
  GribGrid grid;
  if (grid_needs_points(grid_type_of(keys))) {
    std::vector<unsigned char> bytes;
    const Handle whole = handle_for(location, bytes, place);
    grid = read_grib_grid(Keys(whole.get(), place));
  } else {
    grid = read_grib_grid(keys);
  }
  if (!section.empty()) grids_.emplace(section, grid);
  return grid;
}

// The coefficients of a model-level field's vertical grid (its pv array),
// one object per set; null when the message carries none.
std::shared_ptr<const HybridCoefficients> GribSource::coefficients_of(const Keys& keys) {
  const std::optional<long> count = keys.find_long("NV");
  if (!count || *count <= 0) return nullptr;
  HybridCoefficients pv(static_cast<size_t>(*count));
  size_t n = pv.size();
  if (codes_get_double_array(keys.handle(), "pv", pv.data(), &n) != 0 || n != pv.size()) return nullptr;
  auto it = coefficients_.find(pv);
  if (it == coefficients_.end()) {
    auto shared = std::make_shared<const HybridCoefficients>(pv);
    it = coefficients_.emplace(std::move(pv), std::move(shared)).first;
  }
  return it->second;
}

// A handle on the field at `at`, its message read into `bytes`. Later
// fields of a multi-field message take the shared multi-field reader;
// the caller then holds the lock.
Handle GribSource::handle_for(const GribLocation& at, std::vector<unsigned char>& bytes, const std::string& place) const {
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

// Decodes the field's values into `decoded`.
// The first field of each kind is decoded alone (see first_decode_mutex),
// later fields of a multi-field message under the source's lock.
void GribSource::decode(const FieldInfo& field, std::vector<double>& decoded) const {
  const GribLocation& at = locations_[field.locator];
  const LibraryAtWork in_hand(field.place);
  std::vector<unsigned char>& bytes = thread_scratch<MessageScratch>().bytes;  // the field's message
  std::atomic<bool>& decoded_once = decoded_once_[static_cast<size_t>(at.kind)];
  std::unique_lock<std::mutex> first(first_decode_mutex, std::defer_lock);
  if (!decoded_once.load(std::memory_order_acquire)) first.lock();
  std::unique_lock<std::mutex> lock(multi_field_mutex_, std::defer_lock);
  if (at.field_in_message > 0) lock.lock();
  const Handle h = handle_for(at, bytes, field.place);
  // NaN as the missing value: ecCodes' default, 9999, is a real height
  // between 300 and 250 hPa, and must stay a value.
  int error = codes_set_double(h.get(), "missingValue", std::nan(""));
  size_t n = 0;
  if (error == 0) error = codes_get_size(h.get(), "values", &n);
  if (error == 0 && n != field.grid->points()) {
    fail_file(field.place, "decodes to " + std::to_string(n) + " values, its grid has " + std::to_string(field.grid->points()));
  }
  decoded.resize(n);
  if (error == 0) error = codes_get_double_array(h.get(), "values", decoded.data(), &n);
  if (error != 0) fail_eccodes(field.place, "cannot decode: ", error);
  if (first.owns_lock()) decoded_once.store(true, std::memory_order_release);
}

template <typename T>
size_t GribSource::read_values(const FieldInfo& field, T* values) const {
  std::vector<double>& decoded = thread_scratch<DecodeScratch>().values;  // kept by each worker for the import's life
  decode(field, decoded);
  const GribLocation& at = locations_[field.locator];
  const Grid& grid = *field.grid;
  if (grid.kind != GridKind::regular_ll) {
    return convert_rows(decoded.data(), grid.rows, !at.south_first, at.east_first, at.divisor, values);
  }
  return convert_field(decoded.data(), static_cast<size_t>(grid.regular.ni), static_cast<size_t>(grid.regular.nj),
                       !at.south_first, at.east_first, at.divisor, values);
}

}  // namespace

OpenedSource open_grib_source(const std::string& path, const std::string& open_path, int index) {
  auto source = std::make_unique<GribSource>(path, open_path, index);
  SourceInventory inventory = source->scan();
  return {std::move(source), std::move(inventory), nullptr};
}

}  // namespace i2m
