#include "summary.h"

#include <cmath>
#include <string>

namespace inspect {
namespace {

constexpr float kMissing = -99999.0f;

std::string where(const WorkFileLayout& layout, int64_t point) {
  return "i=" + std::to_string(point % layout.im + 1) + " j=" + std::to_string(point / layout.im + 1);
}

std::string record_title(const WorkFileLayout& layout, const RecordInfo& r) {
  const FieldInfo& f = layout.fields[r.field];
  std::string title = "record " + std::to_string(r.number) + " (" + f.short_name;
  if (f.three_d) {
    char level[32];
    std::snprintf(level, sizeof level, " at %g hPa", static_cast<double>(r.level_hpa));
    title += level;
  }
  return title + ")";
}

void collect_problems(const WorkFileLayout& layout, const RecordInfo& r, const RecordStats& s,
                      std::vector<std::string>& problems) {
  const std::string title = record_title(layout, r);
  auto add = [&](int64_t count, const char* what, int64_t first) {
    if (count > 0) {
      problems.push_back(title + " holds " + std::to_string(count) + " " + what + ", the first at " +
                         where(layout, first));
    }
  };
  add(s.missing, "missing values (-99999.0)", s.first_missing);
  add(s.nan, "NaN", s.first_nan);
  add(s.inf, "infinite values", s.first_inf);
  if (layout.is_soil(r)) add(s.zero - s.zero_at_sea, "zeros in a soil field over land", s.first_zero_on_land);
}

}  // namespace

RecordStats record_stats(const std::vector<float>& values, const std::vector<bool>* sea) {
  RecordStats s;
  double sum = 0;
  for (size_t p = 0; p < values.size(); ++p) {
    const float v = values[p];
    const auto point = static_cast<int64_t>(p);
    if (std::isnan(v)) {
      if (s.nan++ == 0) s.first_nan = point;
      continue;
    }
    if (v == kMissing) {
      if (s.missing++ == 0) s.first_missing = point;
      continue;
    }
    if (std::isinf(v) && s.inf++ == 0) s.first_inf = point;
    if (v == 0.0f) {
      ++s.zero;
      if (sea != nullptr && (*sea)[p]) {
        ++s.zero_at_sea;
      } else if (s.first_zero_on_land < 0) {
        s.first_zero_on_land = point;
      }
    }
    if (s.valid++ == 0) s.min = s.max = v;
    // No NaN gets here, so plain comparisons do what fmin and fmax would,
    // without a library call per point.
    s.min = v < s.min ? v : s.min;
    s.max = v > s.max ? v : s.max;
    sum += v;
  }
  s.mean = s.valid > 0 ? sum / static_cast<double>(s.valid) : NAN;
  return s;
}

std::vector<bool> sea_points(const WorkFileLayout& layout) {
  std::vector<float> mask;
  read_record(layout, find_record(layout, "lsm"), mask);
  std::vector<bool> sea(mask.size());
  for (size_t p = 0; p < mask.size(); ++p) {
    if (mask[p] != 0.0f && mask[p] != 1.0f) return {};
    sea[p] = mask[p] == 0.0f;
  }
  return sea;
}

Evaluation evaluate(const WorkFileLayout& layout) {
  Evaluation e;
  const std::vector<bool> sea = sea_points(layout);
  e.mask_usable = !sea.empty();
  std::vector<float> values;
  for (const RecordInfo& r : layout.records) {
    read_record(layout, r, values);
    const bool soil_with_mask = layout.is_soil(r) && e.mask_usable;
    e.stats.push_back(record_stats(values, soil_with_mask ? &sea : nullptr));
    collect_problems(layout, r, e.stats.back(), e.problems);
  }
  return e;
}

int print_summary(const WorkFileLayout& layout, std::FILE* out) {
  std::fprintf(out, "work file %s: %d x %d points, %d levels, %zu records of %lld bytes\n",
               layout.work_path.c_str(), layout.im, layout.jm, layout.lm, layout.records.size(),
               static_cast<long long>(layout.record_bytes()));
  std::fprintf(out, "%4s  %-26s %-6s %7s %13s %13s %13s %9s %7s %7s %9s %7s\n", "rec", "field", "unit", "hPa", "min",
               "max", "mean", "-99999", "NaN", "inf", "zero", "at sea");
  const Evaluation e = evaluate(layout);
  for (size_t n = 0; n < layout.records.size(); ++n) {
    const RecordInfo& r = layout.records[n];
    const RecordStats& s = e.stats[n];
    const FieldInfo& f = layout.fields[r.field];
    char level[16] = "";
    if (f.three_d) std::snprintf(level, sizeof level, "%7.1f", static_cast<double>(r.level_hpa));
    const std::string at_sea = layout.is_soil(r) && e.mask_usable ? std::to_string(s.zero_at_sea) : "-";
    std::fprintf(out, "%4d  %-26s %-6s %7s %13.6g %13.6g %13.6g %9lld %7lld %7lld %9lld %7s\n", r.number,
                 f.name.c_str(), f.unit.c_str(), level, static_cast<double>(s.min), static_cast<double>(s.max),
                 s.mean, static_cast<long long>(s.missing), static_cast<long long>(s.nan),
                 static_cast<long long>(s.inf), static_cast<long long>(s.zero), at_sea.c_str());
  }
  if (!e.mask_usable) {
    std::fprintf(out, "note: the land-sea mask (record %d) holds values other than 0 and 1, so every zero of a soil field counts\n",
                 find_record(layout, "lsm").number);
  }
  if (e.ready()) {
    std::fprintf(out, "verdict: ready (no missing, NaN or infinite value, no zero in a soil field over land)\n");
    return 0;
  }
  std::fprintf(out, "verdict: NOT READY, %zu problems:\n", e.problems.size());
  for (const std::string& p : e.problems) std::fprintf(out, "  %s\n", p.c_str());
  return 1;
}

}  // namespace inspect
