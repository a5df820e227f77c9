#include "import/levels.h"

#include <algorithm>

#include "common/failure.h"
#include "control/run_control_writer.h"
#include "import/data_time.h"
#include "import/model_level_plan.h"

namespace i2m {
namespace {

// What a level must hold at a data time for the converter to go through
// without stopping; specific humidity can be derived from these.
constexpr Quantity kRequired[] = {Quantity::height, Quantity::temperature, Quantity::relative_humidity,
                                  Quantity::zonal_wind, Quantity::meridional_wind};

// Relative humidity can be derived from specific humidity (with the
// temperature, itself required).
bool present(const Inventory& inv, int64_t time, Quantity q, double pa) {
  if (inv.find(time, q, Level::isobaric(pa)) != nullptr) return true;
  return q == Quantity::relative_humidity && inv.find(time, Quantity::specific_humidity, Level::isobaric(pa)) != nullptr;
}

// The required quantities absent at (time, level).
std::vector<Quantity> absent_at(const Inventory& inv, int64_t time, double pa) {
  std::vector<Quantity> absent;
  for (Quantity q : kRequired) {
    if (!present(inv, time, q, pa)) absent.push_back(q);
  }
  return absent;
}

std::string list_absent(const std::vector<Quantity>& absent) {
  std::string s;
  for (Quantity q : absent) s += (s.empty() ? "no " : ", no ") + std::string(quantity_name(q));
  return s;
}

// Why a level cannot be kept, or "" when it can.
std::string why_dropped(const Inventory& inv, double pa) {
  std::string reason;
  int more = 0;
  for (int64_t t : inv.times) {
    const std::vector<Quantity> absent = absent_at(inv, t, pa);
    if (absent.empty()) continue;
    if (reason.empty()) {
      reason = list_absent(absent) + " at " + format_data_time(t);
    } else {
      ++more;
    }
  }
  if (more > 0) reason += " and at " + std::to_string(more) + " more data time" + (more > 1 ? "s" : "");
  return reason;
}

}  // namespace

std::string format_hpa(double pa) { return format_pressure(static_cast<float>(pa / 100.0)); }

std::string source_names(const Inventory& inv) {
  std::vector<std::string> paths;
  for (const OpenedSource& s : inv.sources) paths.push_back(s.inventory.path);
  return name_files(paths);
}

std::vector<double> source_levels(const Inventory& inv) {
  std::vector<double> levels;
  for (const FieldInfo& f : inv.fields) {
    if (is_upper_air(f.quantity) && f.level.kind == LevelKind::isobaric) levels.push_back(f.level.value);
  }
  std::sort(levels.begin(), levels.end(), std::greater<>());
  levels.erase(std::unique(levels.begin(), levels.end(), [](double a, double b) { return thousandths(a) == thousandths(b); }),
               levels.end());
  return levels;
}

void check_upper_air(const Inventory& inv) {
  const std::vector<double> levels = source_levels(inv);
  for (int64_t t : inv.times) {
    if (has_model_levels(inv, t)) continue;  // the vertical step checks its own
    for (Quantity q : kRequired) {
      const bool anywhere = std::any_of(levels.begin(), levels.end(), [&](double pa) { return present(inv, t, q, pa); });
      if (anywhere) continue;
      const bool any_upper_air = std::any_of(inv.fields.begin(), inv.fields.end(), [&](const FieldInfo& f) {
        return f.valid_time == t && is_upper_air(f.quantity);
      });
      fail_file(source_names(inv), any_upper_air ? "no " + std::string(quantity_name(q)) +
                                                       " at any pressure level at " + format_data_time(t)
                                                 : "no upper-air field at all at " + format_data_time(t));
    }
  }
}

LevelChoice choose_levels(const Inventory& inv, const std::vector<double>& requested) {
  LevelChoice choice;
  const std::vector<double> levels = source_levels(inv);
  if (!requested.empty()) {
    choice.kept = requested;
    std::sort(choice.kept.begin(), choice.kept.end(), std::greater<>());
    for (double pa : levels) {
      const bool listed = std::any_of(requested.begin(), requested.end(), [&](double r) { return thousandths(r) == thousandths(pa); });
      if (!listed) choice.dropped.push_back({pa, "not listed in --levels"});
    }
    return choice;
  }
  for (double pa : levels) {
    std::string reason = why_dropped(inv, pa);
    if (reason.empty()) {
      choice.kept.push_back(pa);
    } else {
      choice.dropped.push_back({pa, std::move(reason)});
    }
  }
  if (choice.kept.empty()) {
    fail_file(source_names(inv), "no pressure level holds height, temperature, relative humidity and both winds at every data time");
  }
  return choice;
}

}  // namespace i2m
