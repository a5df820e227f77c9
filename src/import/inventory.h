// Everything the sources of one import hold, before a byte is written:
// the recognised fields of all files with duplicates resolved, the grids
// they come on, the data times, and a way to find a field.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "import/field.h"
#include "import/source.h"

namespace i2m {

// The sources stay open for as long as the inventory lives: reading a
// field (Source::read) goes to them.
struct Inventory {
  std::vector<OpenedSource> sources;  // in command-line order
  std::vector<FieldInfo> fields;  // recognised and unique, by time, quantity, level
  std::vector<int64_t> times;     // data times, ascending
  // The grids of the fields, each once: every field's grid is one of these
  // (the same object), in the order first met.
  std::vector<std::shared_ptr<const Grid>> grids;
  std::string model_name;         // the first source's suggestion, or ""
  int64_t identical_duplicates = 0;   // dropped: the same values found twice
  // Ensemble members of the recognised fields (kNoMember left out), and
  // the fields dropped for belonging to a member other than the one chosen.
  std::vector<int64_t> members;
  int64_t chosen_member = kNoMember;  // --member, when the sources hold members
  int64_t other_members = 0;
  // Fields dropped because another parameter gives the same quantity and
  // preference picks that one ("z on surface (orog is used)").
  std::vector<IgnoredField> superseded;

  // The field of `q` at `level` (for soil layers: the layer with that
  // top) at `time`, or nullptr.
  const FieldInfo* find(int64_t time, Quantity q, const Level& level) const;

 private:
  friend Inventory take_inventory(std::vector<OpenedSource> sources, std::optional<int64_t> member);
  std::map<std::tuple<int64_t, Quantity, LevelKey>, size_t> index_;
};

// Opens every file as its kind of source (an archive as one source per
// member); `scratch_dir` takes members too large for memory.
std::vector<OpenedSource> open_sources(const std::vector<std::string>& paths, const std::string& scratch_dir);

// Gathers the recognised fields of all sources. With `member`, only the
// fields of that ensemble member and those of no ensemble are kept; without
// it, fields of more than one member end the run naming the members found.
// A field found twice (same time, quantity and level) is dropped when both
// hold the same values and ends the run with exit status 2 naming both
// places when they differ; between two parameters of one quantity the
// preferred one is kept. A field on a grid the importer cannot take, or on
// a grid larger than the converter's records hold, ends the run naming it.
// Sources without a recognised field are allowed; an import without any is
// not.
Inventory take_inventory(std::vector<OpenedSource> sources, std::optional<int64_t> member = std::nullopt);

// Files for a diagnostic that stays one readable line: "a.grib, b.grib,
// c.grib and 57 more files".
std::string name_files(const std::vector<std::string>& paths);

// "0 to 9", "1, 3, 5 to 7": member numbers, ascending.
std::string format_members(const std::vector<int64_t>& members);

}  // namespace i2m
