// The one seam between the kinds of source file (GRIB, NetCDF) and the rest
// of the importer. Opening a file scans its metadata into a plain
// inventory (which fields it holds, in the system's vocabulary); the source
// object then answers one question: the values of one of those fields.
// Nothing after this seam knows a library; tests put a fake behind it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "import/field.h"

namespace i2m {

// A field of the file that the importer does not use, for listings:
// "absv on isobaricInhPa", with how many fields of it the file holds.
struct IgnoredField {
  std::string description;
  int64_t count = 0;
};

// Notes that `count` more fields of `description` were ignored.
void count_ignored(std::vector<IgnoredField>& ignored, const std::string& description, int64_t count = 1);

// What a scan of one file found.
struct SourceInventory {
  std::string path;
  std::string kind;                 // for listings: "GRIB2", "GRIB1 and GRIB2", "NetCDF-4"
  std::string model_name;           // what its metadata suggest ("GFS", "ERA5", ...), or ""
  std::string fallback_model_name;  // for when no source of an import suggests one ("NETCDF"), or ""
  std::vector<FieldInfo> fields;    // every field recognised, in file order, `source` set
  std::vector<IgnoredField> ignored;
  // The grids of the file's fields, described (describe_grid), each once;
  // for fields on grids the importer cannot take, what they are.
  std::vector<std::string> grids;
  int64_t field_count = 0;  // every field the file holds: recognised + ignored
  // What the listing and the summary should say of the file ("model levels
  // without the coefficients of their levels: ECMWF's L137 levels taken").
  std::vector<std::string> notes;

  void count_ignored(const std::string& description, int64_t count = 1) { i2m::count_ignored(ignored, description, count); }
  void note_grid(const std::string& description);
};

class Source {
 public:
  virtual ~Source() = default;

  // Writes the values of `field` (one of its inventory's fields) to
  // `values`, field.grid->points() of them in the grid's own order (rows
  // south to north, each row west to east), in the units of
  // quantity_unit(), each computed in double precision and rounded once to
  // float; points the file marks missing, and NaN, become
  // input_missing_flag. Returns the number of those. Throws RunFailure
  // (exit status 2, naming the field's place) when the file cannot be read
  // or decoded, and exit status 1 when its library runs out of memory. May
  // run on several threads at once: a source whose library is not
  // thread-safe serialises its own calls into it.
  virtual size_t read(const FieldInfo& field, float* values) const = 0;

  // The same values before they are rounded to float, for the steps that
  // compute with them (interpolation): missing points are NaN.
  virtual size_t read(const FieldInfo& field, double* values) const = 0;
};

// An archive's members up to this size are read into memory; larger ones
// into a temporary file, removed when the import ends (and, after a kill,
// by the next import into that folder).
inline constexpr size_t kMemberInMemory = size_t{512} << 20;

// A source and what its scan found.
struct OpenedSource {
  std::unique_ptr<Source> reader;
  SourceInventory inventory;
  // What keeps an archive's member readable for the source's life (its
  // bytes in memory, or a temporary file removed with it); null otherwise.
  std::shared_ptr<void> storage;
};

// Opens `path` as the kind of source its first bytes announce and scans it:
// GRIB (also after a header of other bytes), NetCDF, or a zip archive, a
// gzip, bzip2 or xz stream, whose members (or whole stream) are opened as
// what their own first bytes announce, named "ARCHIVE: MEMBER". Appends
// one source per file or member to `sources`, each numbered by its place
// there. Members larger than `member_in_memory` go to a temporary file in
// `scratch_dir` (created when missing). Ends the run with exit status 2 for
// an empty file, one that is not a regular file, a file or member of no
// kind the importer reads, an archive that cannot be read, or a file whose
// metadata cannot be read.
void open_source(const std::string& path, const std::string& scratch_dir, std::vector<OpenedSource>& sources,
                 size_t member_in_memory = kMemberInMemory);

// Opens one GRIB or NetCDF file (or member) at `open_path`, named `path`.
OpenedSource open_plain_source(const std::string& path, const std::string& open_path, int index);

}  // namespace i2m
