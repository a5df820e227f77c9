#include "report_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "common/command_line.h"
#include "picture.h"
#include "work_file_layout.h"

namespace inspect {
namespace {

// Rows below this many load their thumbnails when they scroll into view, so
// that a page of a thousand data times opens at once.
constexpr size_t kEagerRows = 24;

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

// One panel of the chart: the domain mean of key field `k` over the
// season, with the data times far from the season's median (more than 4
// median absolute deviations; any other value when most are equal) marked
// in red and linked to their row.
void chart_panel(const std::vector<ReportRow>& rows, int k, int top, std::ostringstream& svg) {
  constexpr int kLeft = 64, kWidth = 780, kHeight = 70;
  svg << "<text x=\"" << kLeft << "\" y=\"" << top - 6 << "\" class=\"panel\">" << kKeyFields[k].label
      << ", domain mean</text>\n";
  svg << "<rect x=\"" << kLeft << "\" y=\"" << top << "\" width=\"" << kWidth << "\" height=\"" << kHeight
      << "\" class=\"frame\"/>\n";
  std::vector<double> means;
  for (const ReportRow& r : rows) {
    if (charted(r.keys[k])) means.push_back(r.keys[k].mean);
  }
  if (means.empty()) return;
  const double median = median_of(means);
  std::vector<double> deviations;
  for (double m : means) deviations.push_back(std::fabs(m - median));
  const double limit = 4 * median_of(deviations);
  const double lo = *std::min_element(means.begin(), means.end());
  const double hi = std::max(*std::max_element(means.begin(), means.end()), lo + 1e-9 * std::max(1.0, std::fabs(lo)));
  auto x_of = [&](size_t n) { return kLeft + (rows.size() > 1 ? kWidth * static_cast<double>(n) / (rows.size() - 1) : kWidth / 2.0); };
  auto y_of = [&](double v) { return top + kHeight - (v - lo) / (hi - lo) * kHeight; };
  svg << "<text x=\"" << kLeft - 6 << "\" y=\"" << top + 10 << "\" class=\"axis\" text-anchor=\"end\">" << number(hi)
      << "</text>\n";
  svg << "<text x=\"" << kLeft - 6 << "\" y=\"" << top + kHeight << "\" class=\"axis\" text-anchor=\"end\">"
      << number(lo) << "</text>\n";
  svg << "<polyline class=\"mean\" points=\"";
  for (size_t n = 0; n < rows.size(); ++n) {
    if (charted(rows[n].keys[k])) svg << x_of(n) << "," << y_of(rows[n].keys[k].mean) << " ";
  }
  svg << "\"/>\n";
  for (size_t n = 0; n < rows.size(); ++n) {
    const Range& r = rows[n].keys[k];
    if (!charted(r) || std::fabs(r.mean - median) <= limit) continue;
    svg << "<a href=\"#t" << n << "\"><circle class=\"outlier\" cx=\"" << x_of(n) << "\" cy=\"" << y_of(r.mean)
        << "\" r=\"4\"><title>" << escape(label_of(rows[n])) << ": " << number(r.mean) << "</title></circle></a>\n";
  }
}

std::string season_chart(const std::vector<ReportRow>& rows) {
  constexpr int kPanel = 70 + 30;
  const int height = kKeys * kPanel + 24;
  std::ostringstream svg;
  svg << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"860\" height=\"" << height
      << "\" role=\"img\" aria-label=\"domain means over the season\">\n";
  for (int k = 0; k < kKeys; ++k) chart_panel(rows, k, k * kPanel + 22, svg);
  if (!rows.empty()) {
    svg << "<text x=\"64\" y=\"" << height - 4 << "\" class=\"axis\">" << escape(label_of(rows.front()))
        << "</text>\n<text x=\"844\" y=\"" << height - 4 << "\" class=\"axis\" text-anchor=\"end\">"
        << escape(label_of(rows.back())) << "</text>\n";
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
.outlier { fill: #d00; } .panel { font-size: 13px; } .axis { font-size: 11px; fill: #444; }
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
