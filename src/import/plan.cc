#include "import/plan.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "common/data_time_name.h"
#include "common/failure.h"
#include "control/standard_levels.h"
#include "import/data_time.h"
#include "input/record_layout.h"

namespace i2m {
namespace {

// The top depths of the four shallowest layers the sources hold.
std::vector<double> soil_layers(const Inventory& inv, Quantity q) {
  std::vector<double> tops;
  for (const FieldInfo& f : inv.fields) {
    if (f.quantity == q) tops.push_back(f.level.value);
  }
  std::sort(tops.begin(), tops.end());
  tops.erase(std::unique(tops.begin(), tops.end(), [](double a, double b) { return thousandths(a) == thousandths(b); }),
             tops.end());
  if (tops.size() > kSoilLayers) tops.resize(kSoilLayers);
  return tops;
}

std::string model_name_for(const Inventory& inv, const ImportOptions& options) {
  if (!options.model.empty()) return options.model;
  std::string name;
  for (char c : inv.model_name) {
    if (std::isalnum(static_cast<unsigned char>(c)) && name.size() < static_cast<size_t>(kModelNameLength)) name += c;
  }
  return name.empty() ? "IMPORT" : name;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A humidity the sources lack at a level is derived from temperature and
// the other humidity, where they have both.
RecordPlan upper_air_record(const Inventory& inv, int64_t time, Quantity q, double pa) {
  RecordPlan r;
  r.tally = tally_row(q, 0);
  const Level level = Level::isobaric(pa);
  r.field = inv.find(time, q, level);
  if (r.field != nullptr) {
    r.source = RecordSource::field;
  } else if (q == Quantity::specific_humidity || q == Quantity::relative_humidity) {
    const bool specific = q == Quantity::specific_humidity;
    r.temperature = inv.find(time, Quantity::temperature, level);
    r.humidity = inv.find(time, specific ? Quantity::relative_humidity : Quantity::specific_humidity, level);
    r.pressure_hpa = static_cast<float>(pa / 100.0);
    if (r.temperature != nullptr && r.humidity != nullptr) {
      r.source = specific ? RecordSource::derived_specific_humidity : RecordSource::derived_relative_humidity;
    }
  }
  return r;
}

RecordPlan surface_record(const Inventory& inv, int64_t time, Quantity q, int layer, const std::vector<double>& tops) {
  RecordPlan r;
  r.tally = tally_row(q, layer);
  const bool have_layer = !is_soil(q) || layer <= static_cast<int>(tops.size());
  r.field = have_layer ? inv.find(time, q, is_soil(q) ? Level::soil(tops[layer - 1], 0) : Level::surface()) : nullptr;
  if (r.field != nullptr) r.source = RecordSource::field;
  return r;
}

RecordPlan vertical_record(Quantity q, int layer, int output_level, float pressure_hpa) {
  RecordPlan r;
  r.source = RecordSource::vertical;
  r.tally = tally_row(q, layer);
  r.quantity = q;
  r.output_level = output_level;
  r.pressure_hpa = pressure_hpa;
  return r;
}

DataTimePlan plan_data_time(const Inventory& inv, const ImportPlan& plan, int64_t time) {
  DataTimePlan d;
  d.time = time;
  d.file_name = data_time_file_name(plan.control.model_name, time);
  const int32_t lm = plan.control.lm;
  d.records.resize(static_cast<size_t>(input_record_count(lm)));
  if (has_model_levels(inv, time)) d.model_levels = plan_model_levels(inv, time, plan.levels.kept);
  for (Quantity q : kUpperAirOrder) {
    for (int32_t k = 1; k <= lm; ++k) {
      RecordPlan& r = d.records[input_record_number(upper_air_field(q), k, lm) - 1];
      r = d.model_levels ? vertical_record(q, 0, k - 1, plan.levels_hpa[static_cast<size_t>(k - 1)])
                         : upper_air_record(inv, time, q, plan.levels.kept[k - 1]);
    }
  }
  for (Quantity q : kSurfaceOrder) {
    // The surface pressure and topography the vertical step used.
    const bool vertical = d.model_levels && (q == Quantity::surface_pressure || q == Quantity::topography);
    d.records[input_record_number(InputField::slp, surface_slice(q, 1), lm) - 1] =
        vertical ? vertical_record(q, 1, 0, 0) : surface_record(inv, time, q, 1, {});
  }
  for (int layer = 1; layer <= kSoilLayers; ++layer) {
    for (int s = 0; s < 2; ++s) {
      const Quantity q = s == 0 ? Quantity::soil_temperature : Quantity::soil_moisture;
      d.records[input_record_number(InputField::slp, surface_slice(q, layer), lm) - 1] =
          surface_record(inv, time, q, layer, plan.soil_layers[s]);
    }
  }
  return d;
}

// "at every data time", "at 2024010100 and 3 more".
std::string when(const std::vector<int64_t>& times, size_t all) {
  if (times.size() == all) return all == 1 ? "at " + format_data_time(times.front()) : "at every data time";
  std::string s = "at " + format_data_time(times.front());
  if (times.size() > 1) s += " and " + std::to_string(times.size() - 1) + " more";
  return s;
}

const char* derived_from(RecordSource source) {
  switch (source) {
    case RecordSource::derived_specific_humidity: return " from temperature and relative humidity";
    case RecordSource::derived_relative_humidity: return " from temperature and specific humidity";
    case RecordSource::vertical: return " interpolated from model levels";
    default: return "";
  }
}

// The records of one source (derived or none), grouped by field and by
// the data times where it happens.
std::vector<PlanNote> notes_of(const ImportPlan& plan, RecordSource source) {
  std::vector<PlanNote> notes;
  const auto lm = static_cast<size_t>(plan.control.lm);
  const auto first_surface = static_cast<size_t>(input_record_number(InputField::slp, 1, plan.control.lm) - 1);
  for (size_t r = 0; r < plan.times.front().records.size(); ++r) {
    std::vector<int64_t> times;
    for (const DataTimePlan& d : plan.times) {
      if (d.records[r].source == source) times.push_back(d.time);
    }
    if (times.empty()) continue;
    const std::string what = tally_row_name(plan.times.front().records[r].tally) + derived_from(source);
    const std::string at = when(times, plan.times.size());
    if (notes.empty() || notes.back().what != what || notes.back().when != at) notes.push_back({what, {}, at});
    if (r < first_surface) notes.back().levels_hpa.push_back(format_hpa(plan.levels.kept[r % lm]));
  }
  return notes;
}

// A data time without its surface fields would reach the model as a
// sea-level pressure of 0 hPa (the converter turns missing surface values
// into zeros): the import is refused, naming the first such data time.
void refuse_missing_surface(const Inventory& inv, const ImportPlan& plan) {
  const auto first_surface = static_cast<size_t>(input_record_number(InputField::slp, 1, plan.control.lm) - 1);
  const DataTimePlan* first = nullptr;
  std::vector<std::string> absent;
  int more = 0;
  for (const DataTimePlan& d : plan.times) {
    bool lacks = false;
    for (size_t r = first_surface; r < d.records.size(); ++r) {
      if (d.records[r].source != RecordSource::none) continue;
      lacks = true;
      if (first == nullptr || first == &d) absent.push_back(tally_row_name(d.records[r].tally));
    }
    if (!lacks) continue;
    if (first == nullptr) {
      first = &d;
    } else {
      ++more;
    }
  }
  if (first == nullptr) return;
  // Every surface field, or the first few and a count: one readable line.
  std::string list;
  if (absent.size() == static_cast<size_t>(nsfcfld)) {
    list = "surface field at all";
  } else {
    for (size_t n = 0; n < absent.size() && n < 4; ++n) list += (list.empty() ? "" : ", ") + absent[n];
    if (absent.size() > 4) list += " and " + std::to_string(absent.size() - 4) + " more surface fields";
  }
  fail_file(source_names(inv), "no " + list + " at " + format_data_time(first->time) +
                                   (more > 0 ? " (and at " + std::to_string(more) + " more data time" +
                                                   (more > 1 ? "s" : "") + ")" : "") +
                                   ": give the files that hold the surface fields as well, or write them as "
                                   "missing with --allow-missing-surface");
}

// The fields that some record of some data time reads.
int64_t count_fields_used(const ImportPlan& plan) {
  std::set<const FieldInfo*> used;
  for (const DataTimePlan& d : plan.times) {
    if (d.model_levels) {
      for (const auto& column : d.model_levels->columns) used.insert(column.begin(), column.end());
      used.insert(d.model_levels->surface_pressure);
      used.insert(d.model_levels->surface_geopotential);
    }
    for (const RecordPlan& r : d.records) {
      if (r.source == RecordSource::none) continue;
      for (const FieldInfo* f : {r.field, r.temperature, r.humidity}) {
        if (f != nullptr) used.insert(f);
      }
    }
  }
  return static_cast<int64_t>(used.size());
}

// The data times interpolated from model levels, grouped by the levels read.
std::vector<PlanNote> model_level_notes(const ImportPlan& plan) {
  std::map<std::string, std::vector<int64_t>> by_levels;
  for (const DataTimePlan& d : plan.times) {
    if (!d.model_levels) continue;
    const std::string what = "upper air interpolated from model levels " + std::to_string(d.model_levels->top) + " to " +
                             std::to_string(d.model_levels->levels.nlev) +
                             " (relative humidity from the temperature and specific humidity interpolated), "
                             "surface pressure and topography those it used";
    by_levels[what].push_back(d.time);
  }
  std::vector<PlanNote> notes;
  for (const auto& [what, times] : by_levels) notes.push_back({what, {}, when(times, plan.times.size())});
  return notes;
}

// Model-level and pressure-level upper air of one data time would give two
// values for one output level.
bool check_level_kinds(const Inventory& inv) {
  bool any_model_levels = false;
  for (int64_t t : inv.times) {
    const bool model = has_model_levels(inv, t);
    if (model && has_pressure_levels(inv, t)) {
      fail_file(source_names(inv), "model-level and pressure-level upper-air fields at " + format_data_time(t) +
                                       ": they would give two values for one output level; import them apart");
    }
    any_model_levels = any_model_levels || model;
  }
  return any_model_levels;
}

}  // namespace

bool valid_model_name(const std::string& name) {
  if (name.empty() || name.size() > static_cast<size_t>(kModelNameLength)) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
  });
}

std::string data_time_file_name(const std::string& model_name, int64_t time) {
  return lower(model_name) + "_" + format_data_time(time) + ".bin";
}

bool is_data_time_file_name(const std::string& name) {
  constexpr size_t kTail = 1 + kDataTimeDigits + 4;  // "_2024010112.bin"
  if (name.size() <= kTail || !name.ends_with(".bin") || name[name.size() - kTail] != '_') return false;
  return std::all_of(name.end() - (kTail - 1), name.end() - 4, [](char c) { return c >= '0' && c <= '9'; });
}

ImportPlan make_plan(const Inventory& inv, const ImportOptions& options) {
  ImportPlan plan;
  // The grid first: a source on a grid that needs --grid says so before
  // anything else is asked of it.
  plan.grid = choose_grid(inv, options.area, options.grid);
  const bool model_levels = check_level_kinds(inv);
  check_upper_air(inv);
  std::vector<double> requested;
  for (double hpa : options.levels_hpa) requested.push_back(hpa * 100.0);
  // From model levels, without --levels: ERA5's 37 pressure levels.
  if (model_levels && requested.empty()) {
    for (float hpa : kEra5LevelsHpa) requested.push_back(static_cast<double>(hpa) * 100.0);
  }
  plan.levels = choose_levels(inv, requested);
  for (double pa : plan.levels.kept) plan.levels_hpa.push_back(static_cast<float>(pa / 100.0));
  plan.control.model_name = model_name_for(inv, options);
  plan.control.lm = static_cast<int32_t>(plan.levels.kept.size());
  set_grid_numbers(plan.grid.written, plan.control);
  plan.soil_layers[0] = soil_layers(inv, Quantity::soil_temperature);
  plan.soil_layers[1] = soil_layers(inv, Quantity::soil_moisture);
  for (int64_t t : inv.times) plan.times.push_back(plan_data_time(inv, plan, t));
  if (!options.allow_missing_surface) refuse_missing_surface(inv, plan);
  plan.derived = model_level_notes(plan);
  for (PlanNote& n : notes_of(plan, RecordSource::derived_specific_humidity)) plan.derived.push_back(std::move(n));
  for (PlanNote& n : notes_of(plan, RecordSource::derived_relative_humidity)) plan.derived.push_back(std::move(n));
  plan.missing = notes_of(plan, RecordSource::none);
  plan.fields_used = count_fields_used(plan);
  return plan;
}

}  // namespace i2m
