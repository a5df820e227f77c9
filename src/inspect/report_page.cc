#include "inspect/report_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "common/version.h"
#include "inspect/picture.h"
#include "inspect/work_file_layout.h"

namespace inspect {
namespace {

// Rows below this many load their thumbnails when they scroll into view, so
// that a page of a thousand data times opens at once.
constexpr size_t kEagerRows = 24;

// The chart's geometry in pixels.
constexpr int kChartLeft = 72, kChartWidth = 780, kPanelHeight = 70;

std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string number(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", v);
  return buffer;
}

std::string label_of(const ReportRow& r) { return r.time.empty() ? base_name(r.work) : readable_time(r.time); }

// Infinite values make an infinite mean, which has no place on the chart
// (the table and the verdict show them).
bool charted(const Range& r) { return r.valid && std::isfinite(r.mean); }

double median_of(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The data times whose domain mean of key field `k` stands out: far from
// the median of its neighbours in time (up to ten on either side, as many
// on each side, so that neither the seasonal and daily cycles nor the ends
// of the season count), by more than 6 median absolute deviations of all
// those differences and by more than a twentieth of the season's span of
// means (a smooth series has deviations near zero).
std::vector<bool> standing_out(const std::vector<ReportRow>& rows, int k) {
  constexpr size_t kNeighbours = 10;
  std::vector<size_t> at;  // the rows on the chart
  for (size_t n = 0; n < rows.size(); ++n) {
    if (charted(rows[n].keys[k])) at.push_back(n);
  }
  std::vector<bool> out(rows.size(), false);
  if (at.empty()) return out;
  auto mean = [&](size_t c) { return rows[at[c]].keys[k].mean; };
  std::vector<double> residual(at.size()), size(at.size()), window;
  double lo = mean(0), hi = mean(0);
  for (size_t c = 0; c < at.size(); ++c) {
    const size_t half = std::min({kNeighbours, c, at.size() - 1 - c});
    window.clear();
    for (size_t w = c - half; w <= c + half; ++w) window.push_back(mean(w));
    residual[c] = mean(c) - median_of(window);
    size[c] = std::fabs(residual[c]);
    lo = std::min(lo, mean(c));
    hi = std::max(hi, mean(c));
  }
  const double limit = std::max(6 * median_of(size), (hi - lo) / 20);
  for (size_t c = 0; c < at.size(); ++c) out[at[c]] = size[c] > limit;
  return out;
}

double x_of(size_t n, size_t rows) {
  return kChartLeft + (rows > 1 ? kChartWidth * static_cast<double>(n) / static_cast<double>(rows - 1) : kChartWidth / 2.0);
}

// One panel of the chart: the domain mean of key field `k` over the
// season; the data times that stand out are red dots linked to their row.
void chart_panel(const std::vector<ReportRow>& rows, int k, int top, std::ostringstream& svg) {
  svg << "<text x=\"" << kChartLeft << "\" y=\"" << top - 6 << "\" class=\"panel\">" << kKeyFields[k].label
      << ", domain mean</text>\n";
  svg << "<rect x=\"" << kChartLeft << "\" y=\"" << top << "\" width=\"" << kChartWidth << "\" height=\"" << kPanelHeight
      << "\" class=\"frame\"/>\n";
  double lo = INFINITY, hi = -INFINITY;
  for (const ReportRow& r : rows) {
    if (!charted(r.keys[k])) continue;
    lo = std::min(lo, r.keys[k].mean);
    hi = std::max(hi, r.keys[k].mean);
  }
  if (!std::isfinite(lo)) return;
  hi = std::max(hi, lo + 1e-9 * std::max(1.0, std::fabs(lo)));  // a flat line still has a scale
  auto y_of = [&](double v) { return top + kPanelHeight - (v - lo) / (hi - lo) * kPanelHeight; };
  svg << "<text x=\"" << kChartLeft - 6 << "\" y=\"" << top + 10 << "\" class=\"axis\" text-anchor=\"end\">"
      << number(hi) << "</text>\n";
  svg << "<text x=\"" << kChartLeft - 6 << "\" y=\"" << top + kPanelHeight << "\" class=\"axis\" text-anchor=\"end\">"
      << number(lo) << "</text>\n";
  svg << "<polyline class=\"mean\" points=\"";
  for (size_t n = 0; n < rows.size(); ++n) {
    if (charted(rows[n].keys[k])) svg << x_of(n, rows.size()) << "," << y_of(rows[n].keys[k].mean) << " ";
  }
  svg << "\"/>\n";
  const std::vector<bool> marked = standing_out(rows, k);
  for (size_t n = 0; n < rows.size(); ++n) {
    if (!marked[n]) continue;
    svg << "<a href=\"#t" << n << "\"><circle class=\"outlier\" cx=\"" << x_of(n, rows.size()) << "\" cy=\""
        << y_of(rows[n].keys[k].mean) << "\" r=\"4\"><title>" << escape(label_of(rows[n])) << ": "
        << number(rows[n].keys[k].mean) << "</title></circle></a>\n";
  }
}

// A strip under the panels with a red tick at each data time that is not
// ready, linked to its row.
void not_ready_strip(const std::vector<ReportRow>& rows, int top, std::ostringstream& svg) {
  svg << "<text x=\"" << kChartLeft - 6 << "\" y=\"" << top + 10 << "\" class=\"axis\" text-anchor=\"end\">not ready</text>\n";
  svg << "<rect x=\"" << kChartLeft << "\" y=\"" << top << "\" width=\"" << kChartWidth << "\" height=\"12\" class=\"frame\"/>\n";
  for (size_t n = 0; n < rows.size(); ++n) {
    if (rows[n].problems.empty()) continue;
    const double x = x_of(n, rows.size());
    svg << "<a href=\"#t" << n << "\"><rect class=\"not-ready-tick\" x=\"" << x - 1 << "\" y=\"" << top << "\" width=\"2\" height=\"12\"><title>"
        << escape(label_of(rows[n])) << ": not ready</title></rect></a>\n";
  }
}

std::string season_chart(const std::vector<ReportRow>& rows) {
  constexpr int kPanel = kPanelHeight + 30;
  const int strip = kKeys * kPanel + 12, height = strip + 12 + 24;
  std::ostringstream svg;
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kChartLeft + kChartWidth + 16 << "\" height=\""
      << height << "\" role=\"img\" aria-label=\"domain means over the season\">\n";
  for (int k = 0; k < kKeys; ++k) chart_panel(rows, k, k * kPanel + 22, svg);
  not_ready_strip(rows, strip, svg);
  if (!rows.empty()) {
    svg << "<text x=\"" << kChartLeft << "\" y=\"" << height - 4 << "\" class=\"axis\">" << escape(label_of(rows.front()))
        << "</text>\n<text x=\"" << kChartLeft + kChartWidth << "\" y=\"" << height - 4
        << "\" class=\"axis\" text-anchor=\"end\">" << escape(label_of(rows.back())) << "</text>\n";
  }
  svg << "</svg>\n";
  return svg.str();
}

const char* const kStyle = R"(
body { font-family: "DejaVu Sans", sans-serif; margin: 1.5em; color: #111; }
h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 1.5em; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 3px 6px; vertical-align: top; font-size: 0.85em; }
th { background: #eee; }
td.range { white-space: nowrap; }
td.verdict { min-width: 14em; }
tr.not-ready td.verdict { color: #b00; }
td.verdict ul { margin: 0; padding-left: 1.2em; }
img { display: block; border: 0; }
#not-ready { background: #fff3f3; border: 1px solid #e99; padding: 0.2em 1em; }
#broken { color: #b00; font-weight: bold; }
.frame { fill: none; stroke: #999; } .mean { fill: none; stroke: #1f5fa0; stroke-width: 1.2; }
.outlier, .not-ready-tick { fill: #d00; } .panel { font-size: 13px; } .axis { font-size: 11px; fill: #444; }
)";

// Says on the page itself when a thumbnail could not be loaded (a picture
// file moved or deleted); the counts also go on the body for checks.
const char* const kScript = R"(
window.addEventListener('load', function () {
  var loaded = 0, broken = 0, images = document.querySelectorAll('img');
  images.forEach(function (img) {
    if (!img.complete) return;
    if (img.naturalWidth > 0) loaded++; else broken++;
  });
  document.body.setAttribute('data-thumbnails-loaded', loaded);
  document.body.setAttribute('data-thumbnails-broken', broken);
  if (broken > 0) document.getElementById('broken').textContent = broken + ' thumbnails could not be loaded.';
});
)";

std::string range_cell(const Range& r) {
  return r.valid ? number(r.min) + " to " + number(r.max) : "-";
}

void not_ready_list(const std::vector<ReportRow>& rows, std::ostringstream& html) {
  size_t count = 0;
  for (const ReportRow& r : rows) count += r.problems.empty() ? 0 : 1;
  html << "<section id=\"not-ready\">\n<h2>Not ready (" << count << ")</h2>\n<ul>\n";
  for (size_t n = 0; n < rows.size(); ++n) {
    const std::vector<std::string>& p = rows[n].problems;
    if (p.empty()) continue;
    html << "<li><a href=\"#t" << n << "\">" << escape(label_of(rows[n])) << "</a>: " << p.size() << " problem"
         << (p.size() > 1 ? "s" : "") << ", " << escape(p.front()) << (p.size() > 1 ? ", ..." : "") << "</li>\n";
  }
  if (count == 0) html << "<li>none: every data time is ready</li>\n";
  html << "</ul>\n</section>\n";
}

void table_row(const ReportRow& r, size_t n, const std::vector<ThumbnailColumn>& columns, std::ostringstream& html) {
  html << "<tr id=\"t" << n << "\" class=\"" << (r.problems.empty() ? "ready" : "not-ready") << "\"><td>"
       << escape(label_of(r)) << "<br><small>" << escape(base_name(r.work)) << "</small></td><td class=\"verdict\">";
  if (r.problems.empty()) {
    html << "ready";
  } else {
    html << "<strong>not ready</strong><ul>";
    for (const std::string& p : r.problems) html << "<li>" << escape(p) << "</li>";
    html << "</ul>";
  }
  html << "</td>";
  for (const Range& k : r.keys) html << "<td class=\"range\">" << range_cell(k) << "</td>";
  for (size_t c = 0; c < columns.size(); ++c) {
    if (!r.thumbnails[c].present) {
      html << "<td>-</td>";
      continue;
    }
    const std::string name = picture_name(r, c);
    html << "<td><a href=\"pictures/" << name << "\"><img src=\"thumbnails/" << name << "\" alt=\""
         << escape(columns[c].title + ", " + label_of(r)) << "\"" << (n >= kEagerRows ? " loading=\"lazy\"" : "")
         << "></a></td>";
  }
  html << "</tr>\n";
}

}  // namespace

std::string picture_name(const ReportRow& row, size_t column) { return row.id + "_" + std::to_string(column) + ".png"; }

std::string report_page(const std::vector<ReportRow>& rows, const std::vector<ThumbnailColumn>& columns) {
  std::ostringstream html;
  size_t not_ready = 0;
  for (const ReportRow& r : rows) not_ready += r.problems.empty() ? 0 : 1;
  html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Season report, " << rows.size()
       << " data times</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n<h1>Season report</h1>\n<p>"
       << rows.size() << " data times";
  if (!rows.empty()) html << " from " << escape(label_of(rows.front())) << " to " << escape(label_of(rows.back()));
  html << "; <strong>" << not_ready << " not ready</strong>. Made by inspect_work_file " << i2m::project_version()
       << ". <span id=\"broken\"></span></p>\n";
  not_ready_list(rows, html);
  html << "<section id=\"chart\">\n<h2>Domain means over the season</h2>\n" << season_chart(rows) << "</section>\n";
  html << "<section id=\"times\">\n<h2>Data times</h2>\n<table>\n<thead><tr><th>data time</th><th>verdict</th>";
  for (const KeyField& k : kKeyFields) html << "<th>" << k.label << "</th>";
  for (const ThumbnailColumn& c : columns) {
    html << "<th>" << escape(c.title) << "<br>colours " << tick_label(c.scale, c.scale.low) << " to "
         << tick_label(c.scale, c.scale.high) << "</th>";
  }
  html << "</tr></thead>\n<tbody>\n";
  for (size_t n = 0; n < rows.size(); ++n) table_row(rows[n], n, columns, html);
  html << "</tbody>\n</table>\n</section>\n<script>" << kScript << "</script>\n</body>\n</html>\n";
  return html.str();
}

}  // namespace inspect
