#include "import/model_level_plan.h"

#include <algorithm>

#include "common/failure.h"
#include "common/number_text.h"
#include "import/data_time.h"
#include "import/levels.h"

namespace i2m {
namespace {

constexpr Quantity kColumnQuantities[] = {Quantity::temperature, Quantity::specific_humidity, Quantity::zonal_wind,
                                          Quantity::meridional_wind};

bool upper_air_of_kind(const Inventory& inv, int64_t time, LevelKind kind) {
  return std::any_of(inv.fields.begin(), inv.fields.end(), [&](const FieldInfo& f) {
    return f.valid_time == time && is_upper_air(f.quantity) && f.level.kind == kind;
  });
}

// The coefficients shared by every model-level field of the data time.
const HybridCoefficients& shared_coefficients(const Inventory& inv, int64_t time) {
  const FieldInfo* first = nullptr;
  for (const FieldInfo& f : inv.fields) {
    if (f.valid_time != time || f.level.kind != LevelKind::hybrid) continue;
    if (f.hybrid == nullptr) fail_file(f.place, "a field on model levels without the coefficients of its levels");
    if (first == nullptr) {
      first = &f;
    } else if (f.hybrid != first->hybrid && *f.hybrid != *first->hybrid) {
      fail_file(f.place, "the coefficients of its model levels differ from those of " + first->place +
                             ": fields of one data time must share one vertical grid");
    }
  }
  return *first->hybrid;
}

std::string where_levels_go(const HybridLevels& levels, int top) {
  return "from " + std::to_string(levels.nlev) + " up to " + std::to_string(top);
}

// The fields of each quantity at model levels top to nlev; refused naming
// the levels that are missing.
void gather_columns(const Inventory& inv, int64_t time, ModelLevelPlan& plan, double lowest_pa) {
  for (int k = plan.top; k <= plan.levels.nlev; ++k) {
    std::array<const FieldInfo*, 4> column{};
    for (size_t n = 0; n < 4; ++n) column[n] = inv.find(time, kColumnQuantities[n], Level::hybrid(k));
    plan.columns.push_back(column);
  }
  for (size_t n = 0; n < 4; ++n) {
    std::vector<int> missing;
    for (int k = plan.top; k <= plan.levels.nlev; ++k) {
      if (plan.columns[static_cast<size_t>(k - plan.top)][n] == nullptr) missing.push_back(k);
    }
    if (missing.empty()) continue;
    fail_file(source_names(inv), "model levels: no " + std::string(quantity_name(kColumnQuantities[n])) + " at model level" +
                                     (missing.size() > 1 ? "s " : " ") + format_level_numbers(missing) + " at " +
                                     format_data_time(time) + " (the levels must run without a gap " +
                                     where_levels_go(plan.levels, plan.top) + ", the first above " +
                                     format_number(lowest_pa / 100.0) + " hPa)");
  }
}

void find_surface(const Inventory& inv, int64_t time, ModelLevelPlan& plan) {
  plan.surface_pressure = inv.find(time, Quantity::log_surface_pressure, Level::hybrid(1));
  plan.log_pressure = plan.surface_pressure != nullptr;
  if (plan.surface_pressure == nullptr) plan.surface_pressure = inv.find(time, Quantity::surface_pressure, Level::surface());
  plan.surface_geopotential = inv.find(time, Quantity::topography, Level::hybrid(1));
  if (plan.surface_geopotential == nullptr) plan.surface_geopotential = inv.find(time, Quantity::topography, Level::surface());
  const char* absent = plan.surface_pressure == nullptr       ? "no surface pressure (lnsp or sp)"
                       : plan.surface_geopotential == nullptr ? "no surface geopotential (z or orography)"
                                                              : nullptr;
  if (absent == nullptr) return;
  fail_file(source_names(inv), std::string("model levels: ") + absent + " at " + format_data_time(time) +
                                   ": the interpolation to pressure levels needs it (also with --allow-missing-surface)");
}

}  // namespace

std::string format_level_numbers(const std::vector<int>& levels) {
  return format_ranges(std::vector<int64_t>(levels.begin(), levels.end()));
}

bool has_model_levels(const Inventory& inv, int64_t time) { return upper_air_of_kind(inv, time, LevelKind::hybrid); }

bool has_pressure_levels(const Inventory& inv, int64_t time) { return upper_air_of_kind(inv, time, LevelKind::isobaric); }

ModelLevelPlan plan_model_levels(const Inventory& inv, int64_t time, const std::vector<double>& output_pa) {
  ModelLevelPlan plan;
  const HybridCoefficients& pv = shared_coefficients(inv, time);
  plan.levels = hybrid_levels_from_pv(pv);
  if (plan.levels.nlev < 1) {
    fail_file(source_names(inv), "model levels: " + std::to_string(pv.size()) +
                                     " coefficients (pv) describe no levels (a then b of each half level)");
  }
  const double lowest_pa = *std::min_element(output_pa.begin(), output_pa.end());
  plan.top = highest_level_needed(plan.levels, lowest_pa, kMaxSurfacePressure);
  if (plan.top == 0) {
    fail_file(source_names(inv), "model levels: the output level " + format_number(lowest_pa / 100.0) +
                                     " hPa lies above the top model level (" +
                                     format_number(plan.levels.full(1, kMaxSurfacePressure) / 100.0) + " hPa)");
  }
  gather_columns(inv, time, plan, lowest_pa);
  find_surface(inv, time, plan);
  return plan;
}

}  // namespace i2m
