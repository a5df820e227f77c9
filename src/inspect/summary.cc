#include "inspect/summary.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "common/constants.h"

namespace inspect {
namespace {

constexpr float kMissing = i2m::missing_flag;

std::string where(const WorkFileLayout& layout, int64_t point) {
  return "i=" + std::to_string(point % layout.im + 1) + " j=" + std::to_string(point / layout.im + 1);
}

std::string record_title(const WorkFileLayout& layout, const RecordInfo& r) {
  const LayoutField& f = layout.fields[r.field];
  return "record " + std::to_string(r.number) + " (" + f.short_name + level_text(layout, r) + ")";
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// "outside 850 to 1100 hPa", "other than 0 and 1".
std::string bound_text(const Bound& b, const LayoutField& f) {
  if (b.kind == Bound::zero_or_one) return "other than 0 and 1";
  const bool has_unit = !f.unit.empty() && f.unit != " " && f.unit != "0-1";
  return "outside " + number_text(b.min) + " to " + number_text(b.max) + (has_unit ? " " + f.unit : "");
}

void collect_problems(const WorkFileLayout& layout, const RecordInfo& r, const RecordStats& s,
                      const std::optional<Bound>& bound, std::vector<std::string>& problems) {
  const std::string title = record_title(layout, r);
  auto add = [&](int64_t count, const std::string& what, int64_t first, const std::string& after = "") {
    if (count > 0) {
      problems.push_back(title + " holds " + std::to_string(count) + " " + what + ", the first at " +
                         where(layout, first) + after);
    }
  };
  add(s.missing, "missing values (-99999.0)", s.first_missing);
  add(s.nan, "NaN", s.first_nan);
  add(s.inf, "infinite values", s.first_inf);
  if (layout.is_soil(r)) add(s.zero - s.zero_at_sea, "zeros in a soil field over land", s.first_zero_on_land);
  if (bound) {
    add(s.out_of_bounds, "values " + bound_text(*bound, layout.fields[r.field]), s.first_out_of_bounds,
        " (" + number_text(s.first_out_of_bounds_value) + ")");
  }
  // Pressures, temperatures and heights vary over any domain; one value
  // everywhere is a field that was never filled, or filled with a constant.
  const std::string& name = layout.fields[r.field].short_name;
  const bool varies = name == "msl" || name == "sp" || name == "t" || name == "z";
  if (varies && s.valid >= 2 && s.min == s.max) {
    problems.push_back(title + " holds one value everywhere (" + number_text(s.min) + ")");
  }
}

// Geopotential height rises as pressure falls, at every point: two levels
// swapped, or a level taken from another data time, break that. Counts the
// points of `above` that do not lie above `below` (a NaN or -99999.0 on
// either side is not counted: it is a problem of its own).
int64_t points_not_above(const std::vector<float>& above, const std::vector<float>& below, int64_t& first) {
  int64_t count = 0;
  for (size_t p = 0; p < above.size(); ++p) {
    const float a = above[p], b = below[p];
    if (a > b) continue;  // the usual case; a NaN fails it and is sorted out here
    if (a == kMissing || b == kMissing || std::isnan(a) || std::isnan(b)) continue;
    if (count++ == 0) first = static_cast<int64_t>(p);
  }
  return count;
}

// Names the level whose heights do not all lie above those of the level
// below it.
void check_heights(const WorkFileLayout& layout, const RecordInfo& lower, const std::vector<float>& below,
                   const RecordInfo& upper, const std::vector<float>& above, std::vector<std::string>& problems) {
  if (lower.level_hpa == upper.level_hpa) return;
  const bool upward = upper.level_hpa < lower.level_hpa;
  int64_t first = -1;
  const int64_t count = upward ? points_not_above(above, below, first) : points_not_above(below, above, first);
  if (count == 0) return;
  const RecordInfo& high = upward ? upper : lower;
  const RecordInfo& low = upward ? lower : upper;
  const std::vector<float>& high_values = upward ? above : below;
  const std::vector<float>& low_values = upward ? below : above;
  const auto f = static_cast<size_t>(first);
  problems.push_back(record_title(layout, high) + " is not above " + record_title(layout, low) + " at " +
                     std::to_string(count) + " points, the first at " + where(layout, first) + " (" +
                     number_text(high_values[f]) + " m against " + number_text(low_values[f]) + " m)");
}

// What the statistics of one record need to know of its bound.
struct Limits {
  float low, high;  // inclusive, finite: the plain values of a range
  bool zero_or_one, land_only;
};

Limits limits_of(const Bound* bound) {
  constexpr float kLargest = std::numeric_limits<float>::max();
  if (bound == nullptr) return {-kLargest, kLargest, false, false};
  // A mask's plain value is 1; its zeros go the way of every zero.
  if (bound->kind == Bound::zero_or_one) return {1, 1, true, false};
  const float low = std::max(static_cast<float>(bound->min), -kLargest);
  const float high = std::min(static_cast<float>(bound->max), kLargest);
  return {low, high, false, bound->land_only};
}

// Counts a point that is not a plain value: NaN, -99999.0, an infinity, a
// zero, a value outside the bound. Kept out of the loop that finds them.
// Returns whether the point is a value for the minimum, maximum and mean.
bool add_special(float v, int64_t point, const Limits& l, const std::vector<bool>* sea, RecordStats& s) {
  if (std::isnan(v)) {
    if (s.nan++ == 0) s.first_nan = point;
    return false;
  }
  if (v == kMissing) {
    if (s.missing++ == 0) s.first_missing = point;
    return false;
  }
  const bool at_sea = sea != nullptr && (*sea)[static_cast<size_t>(point)];
  if (std::isinf(v)) {
    if (s.inf++ == 0) s.first_inf = point;
  } else if (!(l.land_only && (at_sea || v == 0.0f))) {
    // A soil field's zeros and its values at sea are its own matter.
    const bool outside = l.zero_or_one ? v != 0.0f && v != 1.0f : v < l.low || v > l.high;
    if (outside && s.out_of_bounds++ == 0) {
      s.first_out_of_bounds = point;
      s.first_out_of_bounds_value = v;
    }
  }
  if (v == 0.0f) {
    ++s.zero;
    if (at_sea) {
      ++s.zero_at_sea;
    } else if (s.first_zero_on_land < 0) {
      s.first_zero_on_land = point;
    }
  }
  return true;
}

}  // namespace

RecordStats record_stats(const std::vector<float>& values, const std::vector<bool>* sea, const Bound* bound) {
  const Limits l = limits_of(bound);
  RecordStats s;
  float low = std::numeric_limits<float>::infinity(), high = -low;
  double sum = 0;
  int64_t valid = 0;
  for (size_t p = 0; p < values.size(); ++p) {
    const float v = values[p];
    // One test picks out every point that needs more than the statistics:
    // a NaN and an infinity fail the range, and so does -99999.0 wherever
    // the range excludes it.
    const bool plain = v >= l.low && v <= l.high && v != 0.0f && v != kMissing;
    if (!plain && !add_special(v, static_cast<int64_t>(p), l, sea, s)) continue;
    // No NaN gets here, so plain comparisons do what fmin and fmax would,
    // without a library call per point.
    low = v < low ? v : low;
    high = v > high ? v : high;
    sum += v;
    ++valid;
  }
  s.valid = valid;
  if (valid > 0) {
    s.min = low;
    s.max = high;
  }
  s.mean = valid > 0 ? sum / static_cast<double>(valid) : NAN;
  return s;
}

std::vector<bool> sea_points(const WorkFileLayout& layout) {
  std::vector<float> mask;
  read_work_record(layout, find_record(layout, "lsm"), mask);
  std::vector<bool> sea(mask.size());
  for (size_t p = 0; p < mask.size(); ++p) {
    if (mask[p] != 0.0f && mask[p] != 1.0f) return {};
    sea[p] = mask[p] == 0.0f;
  }
  return sea;
}

Evaluation evaluate(const WorkFileLayout& layout, const BoundsTable& bounds) {
  Evaluation e;
  const std::vector<bool> sea = sea_points(layout);
  e.mask_usable = !sea.empty();
  std::vector<float> values, below;  // below: the height record of the level before
  const RecordInfo* below_record = nullptr;
  for (const RecordInfo& r : layout.records) {
    read_work_record(layout, r, values);
    const LayoutField& f = layout.fields[r.field];
    const std::optional<Bound> bound = bounds.find(f.short_name, r.level_hpa);
    const bool soil_with_mask = layout.is_soil(r) && e.mask_usable;
    e.stats.push_back(record_stats(values, soil_with_mask ? &sea : nullptr, bound ? &*bound : nullptr));
    collect_problems(layout, r, e.stats.back(), bound, e.problems);
    if (f.short_name != "z") continue;
    if (below_record != nullptr) check_heights(layout, *below_record, below, r, values, e.problems);
    below.swap(values);
    below_record = &r;
  }
  return e;
}

int print_work_file_summary(const WorkFileLayout& layout, const BoundsTable& bounds, std::FILE* out) {
  std::fprintf(out, "work file %s: %d x %d points, %d levels, %zu records of %lld bytes\n",
               layout.work_path.c_str(), layout.im, layout.jm, layout.lm, layout.records.size(),
               static_cast<long long>(layout.record_bytes()));
  std::fprintf(out, "%4s  %-26s %-6s %7s %13s %13s %13s %9s %7s %7s %9s %7s %9s\n", "rec", "field", "unit", "hPa", "min",
               "max", "mean", "-99999", "NaN", "inf", "zero", "at sea", "outside");
  const Evaluation e = evaluate(layout, bounds);
  for (size_t n = 0; n < layout.records.size(); ++n) {
    const RecordInfo& r = layout.records[n];
    const RecordStats& s = e.stats[n];
    const LayoutField& f = layout.fields[r.field];
    char level[16] = "";
    if (f.three_d) std::snprintf(level, sizeof level, "%7.1f", static_cast<double>(r.level_hpa));
    const std::string at_sea = layout.is_soil(r) && e.mask_usable ? std::to_string(s.zero_at_sea) : "-";
    std::fprintf(out, "%4d  %-26s %-6s %7s %13.6g %13.6g %13.6g %9lld %7lld %7lld %9lld %7s %9lld\n", r.number,
                 f.name.c_str(), f.unit.c_str(), level, static_cast<double>(s.min), static_cast<double>(s.max),
                 s.mean, static_cast<long long>(s.missing), static_cast<long long>(s.nan),
                 static_cast<long long>(s.inf), static_cast<long long>(s.zero), at_sea.c_str(),
                 static_cast<long long>(s.out_of_bounds));
  }
  if (!e.mask_usable) {
    std::fprintf(out, "note: the land-sea mask (record %d) holds values other than 0 and 1, so every zero of a soil field counts\n",
                 find_record(layout, "lsm").number);
  }
  if (e.ready()) {
    std::fprintf(out,
                 "verdict: ready (no missing, NaN or infinite value, no zero in a soil field over land, every value "
                 "within its bounds, heights rising level by level, no constant field)\n");
    return 0;
  }
  std::fprintf(out, "verdict: NOT READY, %zu problems:\n", e.problems.size());
  for (const std::string& p : e.problems) std::fprintf(out, "  %s\n", p.c_str());
  return 1;
}

}  // namespace inspect
