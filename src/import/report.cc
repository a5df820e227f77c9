#include "import/report.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "common/number_text.h"
#include "common/version.h"
#include "import/data_time.h"
#include "import/levels.h"

namespace i2m {
namespace {

std::string join(const std::vector<std::string>& items, const char* separator = ", ") {
  std::string s;
  for (const std::string& item : items) s += (s.empty() ? "" : separator) + item;
  return s;
}

std::string list_hpa(const std::vector<double>& levels_pa) {
  std::vector<std::string> items;
  for (double pa : levels_pa) items.push_back(format_hpa(pa));
  return join(items) + " hPa";
}

// All data times when there are few, else the first and the last.
std::string list_times(const std::vector<int64_t>& times) {
  if (times.size() <= 8) {
    std::vector<std::string> items;
    for (int64_t t : times) items.push_back(format_data_time(t));
    return join(items);
  }
  return std::to_string(times.size()) + " from " + format_data_time(times.front()) + " to " +
         format_data_time(times.back());
}

// The recognised fields of one parameter: its levels or layers.
struct FieldGroup {
  std::set<double> levels;
  std::set<std::pair<double, double>> layers;
};

std::string describe_group(Quantity q, const FieldGroup& g) {
  if (is_upper_air(q)) {
    std::vector<double> levels(g.levels.rbegin(), g.levels.rend());
    return std::to_string(levels.size()) + " level" + (levels.size() > 1 ? "s" : "") + ": " + list_hpa(levels);
  }
  if (is_soil(q)) {
    std::vector<std::string> layers;
    for (const auto& [top, bottom] : g.layers) layers.push_back(format_number(top) + "-" + format_number(bottom));
    return std::to_string(layers.size()) + " layer" + (layers.size() > 1 ? "s" : "") + ": " + join(layers) + " m";
  }
  return "";
}

}  // namespace

namespace {

// The data times and ensemble members of a file's fields.
void print_times_and_members(std::FILE* out, const std::vector<FieldInfo>& fields) {
  std::set<int64_t> times, members;
  for (const FieldInfo& f : fields) {
    times.insert(f.valid_time);
    if (f.member != kNoMember) members.insert(f.member);
  }
  std::fprintf(out, "  data times: %s\n", list_times({times.begin(), times.end()}).c_str());
  if (!members.empty()) {
    std::fprintf(out, "  ensemble members (%zu): %s\n", members.size(), format_members({members.begin(), members.end()}).c_str());
  }
}

// The recognised fields by parameter, with their levels or layers.
void print_recognised(std::FILE* out, const std::vector<FieldInfo>& fields) {
  std::map<std::tuple<Quantity, std::string, std::string>, FieldGroup> groups;
  for (const FieldInfo& f : fields) {
    FieldGroup& g = groups[{f.quantity, f.name, f.units}];
    g.levels.insert(f.level.value);
    g.layers.insert({f.level.value, f.level.bottom});
  }
  std::fprintf(out, "  recognised:%s\n", groups.empty() ? " none" : "");
  for (const auto& [key, group] : groups) {
    const auto& [q, name, units] = key;
    const std::string detail = describe_group(q, group);
    std::fprintf(out, "    %-24s %s (%s)%s%s\n", std::string(quantity_name(q)).c_str(), name.c_str(), units.c_str(),
                 detail.empty() ? "" : ", ", detail.c_str());
  }
}

}  // namespace

void print_source(std::FILE* out, const SourceInventory& source) {
  std::fprintf(out, "%s (%s): %lld fields\n", source.path.c_str(), source.kind.c_str(),
               static_cast<long long>(source.field_count));
  for (const std::string& grid : source.grids) std::fprintf(out, "  grid: %s\n", grid.c_str());
  for (const std::string& note : source.notes) std::fprintf(out, "  note: %s\n", note.c_str());
  if (!source.fields.empty()) print_times_and_members(out, source.fields);
  print_recognised(out, source.fields);
  std::vector<std::string> ignored;
  for (const IgnoredField& f : source.ignored) ignored.push_back(f.description + " (" + std::to_string(f.count) + ")");
  std::fprintf(out, "  ignored: %s\n", ignored.empty() ? "none" : join(ignored).c_str());
}

void print_levels(std::FILE* out, const LevelChoice& levels, const char* kept_heading) {
  std::fprintf(out, "%s (%zu): %s\n", kept_heading, levels.kept.size(), list_hpa(levels.kept).c_str());
  std::fprintf(out, "levels dropped (%zu)%s\n", levels.dropped.size(), levels.dropped.empty() ? "" : ":");
  for (const DroppedLevel& d : levels.dropped) {
    std::fprintf(out, "  %s hPa: %s\n", format_hpa(d.pa).c_str(), d.reason.c_str());
  }
}

void print_file_names(std::FILE* out, const ImportPlan& plan) {
  std::fprintf(out, "data time files (%zu):\n", plan.times.size());
  for (const DataTimePlan& d : plan.times) std::fprintf(out, "  %s\n", d.file_name.c_str());
}

// Every field read is used, ignored or an identical duplicate; the
// ignored ones by why.
void print_field_counts(std::FILE* out, const Inventory& inv, const ImportPlan& plan) {
  int64_t read = 0, unrecognised = 0, superseded = 0;
  std::vector<std::string> kinds;
  for (const OpenedSource& source : inv.sources) {
    const SourceInventory& s = source.inventory;
    read += s.field_count;
    for (const IgnoredField& f : s.ignored) unrecognised += f.count;
    kinds.push_back(s.kind);
  }
  for (const IgnoredField& f : inv.superseded) superseded += f.count;
  const int64_t not_written = static_cast<int64_t>(inv.fields.size()) - plan.fields_used;
  const std::pair<int64_t, const char*> reasons[] = {{unrecognised, "not recognised"},
                                                     {superseded, "superseded by another parameter"},
                                                     {inv.other_members, "of other ensemble members"},
                                                     {not_written, "at levels or soil layers not written"}};
  int64_t ignored = 0;
  std::vector<std::string> why;
  for (const auto& [count, reason] : reasons) {
    ignored += count;
    if (count > 0) why.push_back(std::to_string(count) + " " + reason);
  }
  std::fprintf(out, "sources: %zu file%s (%s), %lld fields: %lld used, %lld ignored%s, %lld identical duplicates dropped\n",
               inv.sources.size(), inv.sources.size() > 1 ? "s" : "", join(kinds).c_str(), static_cast<long long>(read),
               static_cast<long long>(plan.fields_used), static_cast<long long>(ignored),
               why.empty() ? "" : (" (" + join(why) + ")").c_str(), static_cast<long long>(inv.identical_duplicates));
}

void print_import_summary(std::FILE* out, const Inventory& inv, const ImportPlan& plan, const MissingTally& missing,
                          const OutputFolder& folder, const std::string& dir, const DirectConversion* conversion) {
  std::fprintf(out, "== summary (import_data_times %s) ==\n", project_version());
  print_field_counts(out, inv, plan);
  for (const OpenedSource& s : inv.sources) {
    for (const std::string& note : s.inventory.notes) std::fprintf(out, "%s: %s\n", s.inventory.path.c_str(), note.c_str());
  }
  for (const std::shared_ptr<const Grid>& g : inv.grids) {
    std::fprintf(out, "grid of the sources: %s\n", describe_grid(*g).c_str());
  }
  if (plan.grid.interpolated) std::fprintf(out, "interpolated (bilinear) onto the grid written\n");
  const RunControl& rc = plan.control;
  std::fprintf(out, "grid written: %d x %d points, la1 %d lo1 %d la2 %d lo2 %d di %d dj %d\n", rc.im, rc.jm, rc.la1,
               rc.lo1, rc.la2, rc.lo2, rc.di, rc.dj);
  std::fprintf(out, "model name: %s\n", rc.model_name.c_str());
  if (inv.chosen_member != kNoMember) {
    std::fprintf(out, "ensemble member: %lld (of %zu: %s)\n", static_cast<long long>(inv.chosen_member),
                 inv.members.size(), format_members(inv.members).c_str());
  }
  std::fprintf(out, "data times: %s\n", list_times(inv.times).c_str());
  print_levels(out, plan.levels, "levels kept");
  const auto print_notes = [out](const char* heading, const std::vector<PlanNote>& notes) {
    std::fprintf(out, "%s:%s\n", heading, notes.empty() ? " none" : "");
    for (const PlanNote& n : notes) {
      std::fprintf(out, "  %s%s %s\n", n.what.c_str(),
                   n.levels_hpa.empty() ? "" : (" at " + join(n.levels_hpa) + " hPa,").c_str(), n.when.c_str());
    }
  };
  print_notes("derived", plan.derived);
  print_notes("written as missing", plan.missing);
  std::fprintf(out, "points missing in the source, within the grid written:\n");
  for (int k = 0; k < kTallyRows; ++k) {
    std::fprintf(out, "  %-28s %lld\n", tally_row_name(k).c_str(), static_cast<long long>(missing[k]));
  }
  if (!folder.leftovers().empty()) {
    std::fprintf(out, "removed first (left by an import that did not finish): %s\n", join(folder.leftovers()).c_str());
  }
  if (!folder.cleared().empty()) {
    std::fprintf(out, "removed first (--replace): %s\n", join(folder.cleared()).c_str());
  }
  if (conversion == nullptr) {
    std::fprintf(out, "written to %s: %zu data time file%s, InputModelInf.txt, adate.txt\n", dir.c_str(),
                 plan.times.size(), plan.times.size() > 1 ? "s" : "");
    return;
  }
  const ConversionTally& t = conversion->tally();
  std::fprintf(out, "converted: %d work file%s and .gdsinfo, stopped on their data: %d, done before: %d; logs and "
               "manifests in %s\n", t.converted, t.converted == 1 ? "" : "s", t.stopped, t.skipped,
               conversion->log_folder().c_str());
  std::fprintf(out, "written to %s: the work files, InputModelInf.txt, adate.txt\n", dir.c_str());
}

}  // namespace i2m
