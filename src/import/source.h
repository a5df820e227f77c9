// The one seam between the kinds of source file (GRIB, NetCDF) and the rest
// of the importer. A source reads its file's metadata when it is opened and
// answers two questions in the system's vocabulary: which fields it holds,
// and the values of one of them. Nothing after this seam knows a library.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "import/field.h"

namespace i2m {

// A field of the file that the importer does not use, for listings:
// "absv on isobaricInhPa", with how often it occurs.
struct IgnoredField {
  std::string description;
  int64_t count = 0;
};

class Source {
 public:
  virtual ~Source() = default;

  const std::string& path() const { return path_; }
  // What kind of file it is, for listings: "GRIB2", "GRIB1 and GRIB2", "NetCDF-4".
  const std::string& kind() const { return kind_; }
  // The model name its metadata suggest ("GFS", "ERA5", ...), or "".
  const std::string& model_name() const { return model_name_; }
  // The name for when no source of an import suggests one ("NETCDF"), or "".
  const std::string& fallback_model_name() const { return fallback_model_name_; }
  // Every field recognised, in file order, with `source` set to `index`.
  const std::vector<FieldInfo>& fields() const { return fields_; }
  const std::vector<IgnoredField>& ignored() const { return ignored_; }
  // The grids of the file's fields, described (describe_grid), each once;
  // for fields on grids the importer cannot take, what they are.
  const std::vector<std::string>& grids() const { return grids_; }
  // The number of fields (messages, variables x times) the file holds.
  int64_t field_count() const { return field_count_; }

  // Writes the grid's ni x nj values of `field` (one of fields()) to
  // `values`: rows south to north, columns west to east, in the units of
  // quantity_unit(), each computed in double precision and rounded once to
  // float; points the file marks missing, and NaN, become
  // input_missing_flag. Returns the number of those. Ends the run with exit
  // status 2 naming the field's place when the file cannot be read or
  // decoded. May run on several threads at once: a source whose library
  // is not thread-safe serialises its own calls into it.
  virtual size_t read(const FieldInfo& field, float* values) const = 0;

 protected:
  explicit Source(std::string path) : path_(std::move(path)) {}
  void note_grid(const std::string& description);

  std::string path_;
  std::string kind_;
  std::string model_name_;
  std::string fallback_model_name_;
  std::vector<FieldInfo> fields_;
  std::vector<IgnoredField> ignored_;
  std::vector<std::string> grids_;
  int64_t field_count_ = 0;
};

// Opens `path` as the kind of source its first bytes announce, with its
// inventory read; `index` is the source's number in the import. Ends the
// run with exit status 2 for an empty file, a file of no kind the importer
// reads, or a file whose metadata cannot be read.
std::unique_ptr<Source> open_source(const std::string& path, int index);

// Notes that `count` more fields of `description` were ignored.
void count_ignored(std::vector<IgnoredField>& ignored, const std::string& description, int64_t count = 1);

}  // namespace i2m
