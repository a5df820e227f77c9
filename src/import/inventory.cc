#include "import/inventory.h"

#include <algorithm>
#include <cstring>

#include "common/constants.h"
#include "common/failure.h"
#include "common/number_text.h"
#include "import/data_time.h"

namespace i2m {
namespace {

auto key_of(const FieldInfo& f) { return std::make_tuple(f.valid_time, f.quantity, level_key(f.level)); }

bool same_values(const Inventory& inv, const FieldInfo& a, const FieldInfo& b) {
  std::vector<float> va(a.grid->points()), vb(b.grid->points());
  inv.sources[static_cast<size_t>(a.source)].reader->read(a, va.data());
  inv.sources[static_cast<size_t>(b.source)].reader->read(b, vb.data());
  return std::memcmp(va.data(), vb.data(), va.size() * sizeof(float)) == 0;
}

// Keeps one field of each key: the preferred parameter, or the first of two
// identical copies (concatenated GFS files repeat whole messages).
void drop_duplicates(Inventory& inv) {
  std::stable_sort(inv.fields.begin(), inv.fields.end(), [](const FieldInfo& a, const FieldInfo& b) {
    return std::make_tuple(key_of(a), a.preference) < std::make_tuple(key_of(b), b.preference);
  });
  std::vector<FieldInfo> kept;
  for (FieldInfo& f : inv.fields) {
    if (kept.empty() || key_of(kept.back()) != key_of(f)) {
      kept.push_back(std::move(f));
      continue;
    }
    const FieldInfo& first = kept.back();
    if (f.preference != first.preference) {
      count_ignored(inv.superseded, f.name + " (" + first.name + " is used)");
    } else if (first.grid != f.grid || !same_values(inv, first, f)) {
      fail_file(f.place, "holds " + std::string(quantity_name(f.quantity)) + " again, with other values (also in " +
                             first.place + ")");
    } else {
      ++inv.identical_duplicates;
    }
  }
  inv.fields = std::move(kept);
}

// Each field's grid becomes the one object of its kind: a grid is then
// told by its address. A grid the importer cannot take, or a bigger one
// than the converter's records hold, is refused before anything is
// decoded.
void gather_grids(Inventory& inv) {
  for (FieldInfo& f : inv.fields) {
    if (f.grid->kind == GridKind::unsupported) fail_file(f.place, f.grid->problem);
    const auto same = std::find_if(inv.grids.begin(), inv.grids.end(),
                                   [&](const std::shared_ptr<const Grid>& g) { return g == f.grid || same_grid(*g, *f.grid); });
    if (same != inv.grids.end()) {
      f.grid = *same;
      continue;
    }
    if (f.grid->points() >= static_cast<size_t>(kMaxGridPoints)) {
      fail_file(f.place, "a grid of " + std::to_string(f.grid->points()) +
                             " points; the converter's records hold fewer than " + std::to_string(kMaxGridPoints));
    }
    inv.grids.push_back(f.grid);
  }
}

// Fields that cannot be what they say: a date no archive holds (a year 0
// read as 0000), a pressure level of no pressure.
void check_plausible(const Inventory& inv) {
  static const int64_t kEarliest = seconds_from_civil({1800, 1, 1, 0, 0, 0});
  static const int64_t kLatest = seconds_from_civil({2201, 1, 1, 0, 0, 0});
  for (const FieldInfo& f : inv.fields) {
    if (f.valid_time < kEarliest || f.valid_time >= kLatest) {
      fail_file(f.place, "its validity time " + format_data_time(f.valid_time) +
                             " lies outside the years 1800 to 2200: the date is damaged");
    }
    if (f.level.kind == LevelKind::isobaric && !(f.level.value > 0)) {
      fail_file(f.place, "a pressure level of " + format_number(f.level.value) + " Pa: the level is damaged");
    }
  }
}

std::vector<int64_t> members_of(const std::vector<FieldInfo>& fields) {
  std::vector<int64_t> members;
  for (const FieldInfo& f : fields) {
    if (f.member != kNoMember) members.push_back(f.member);
  }
  std::sort(members.begin(), members.end());
  members.erase(std::unique(members.begin(), members.end()), members.end());
  return members;
}

// The sources that hold fields of ensemble members, for a diagnostic.
std::string sources_with_members(const Inventory& inv) {
  std::vector<std::string> names;
  for (const OpenedSource& s : inv.sources) {
    const std::vector<FieldInfo>& fields = s.inventory.fields;
    const bool holds = std::any_of(fields.begin(), fields.end(), [](const FieldInfo& f) { return f.member != kNoMember; });
    if (holds) names.push_back(s.inventory.path);
  }
  return name_files(names);
}

// Members of one ensemble are different values of the same fields: one of
// them is imported, never a mixture.
void choose_member(Inventory& inv, std::optional<int64_t> member) {
  inv.members = members_of(inv.fields);
  const std::string found = std::to_string(inv.members.size()) + " ensemble member" +
                            (inv.members.size() == 1 ? "" : "s") + " (" + format_members(inv.members) + ")";
  if (!member) {
    if (inv.members.size() > 1) {
      fail_file(sources_with_members(inv), "fields of " + found + "; import one member at a time with --member N");
    }
    return;
  }
  if (inv.members.empty()) fail_file(inv.sources.front().inventory.path, "--member " + std::to_string(*member) + ": the files hold no ensemble members");
  if (!std::binary_search(inv.members.begin(), inv.members.end(), *member)) {
    fail_file(sources_with_members(inv), "no ensemble member " + std::to_string(*member) + ": the files hold " + found);
  }
  inv.chosen_member = *member;
  const auto other = [&](const FieldInfo& f) { return f.member != kNoMember && f.member != *member; };
  inv.other_members = std::count_if(inv.fields.begin(), inv.fields.end(), other);
  inv.fields.erase(std::remove_if(inv.fields.begin(), inv.fields.end(), other), inv.fields.end());
}

}  // namespace

std::string name_files(const std::vector<std::string>& paths) {
  constexpr size_t kNamed = 3;
  std::string names;
  for (size_t n = 0; n < paths.size() && n < kNamed; ++n) names += (names.empty() ? "" : ", ") + paths[n];
  if (paths.size() > kNamed) names += " and " + std::to_string(paths.size() - kNamed) + " more files";
  return names;
}

std::string format_members(const std::vector<int64_t>& members) { return format_ranges(members); }

std::vector<OpenedSource> open_sources(const std::vector<std::string>& paths, const std::string& scratch_dir) {
  std::vector<OpenedSource> sources;
  for (const std::string& path : paths) open_source(path, scratch_dir, sources);
  return sources;
}

const FieldInfo* Inventory::find(int64_t time, Quantity q, const Level& level) const {
  const auto it = index_.find(std::make_tuple(time, q, level_key(level)));
  return it == index_.end() ? nullptr : &fields[it->second];
}

Inventory take_inventory(std::vector<OpenedSource> sources, std::optional<int64_t> member) {
  Inventory inv;
  inv.sources = std::move(sources);
  for (const OpenedSource& source : inv.sources) {
    const SourceInventory& s = source.inventory;
    inv.fields.insert(inv.fields.end(), s.fields.begin(), s.fields.end());
    if (inv.model_name.empty()) inv.model_name = s.model_name;
  }
  for (const OpenedSource& source : inv.sources) {
    if (inv.model_name.empty()) inv.model_name = source.inventory.fallback_model_name;
  }
  if (inv.fields.empty()) {
    std::string files = inv.sources.size() == 1 ? inv.sources[0].inventory.path : "the files given";
    fail_file(files, "no field that the importer recognises (no upper-air field at all)");
  }
  check_plausible(inv);
  choose_member(inv, member);
  gather_grids(inv);
  drop_duplicates(inv);
  for (size_t n = 0; n < inv.fields.size(); ++n) {
    inv.index_[key_of(inv.fields[n])] = n;
    inv.times.push_back(inv.fields[n].valid_time);
  }
  std::sort(inv.times.begin(), inv.times.end());
  inv.times.erase(std::unique(inv.times.begin(), inv.times.end()), inv.times.end());
  return inv;
}

}  // namespace i2m
