#include "inspect/picture.h"

#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "common/constants.h"
#include "common/replacement_file.h"
#include "inspect/coastline.h"
#include "inspect/png_file.h"

namespace inspect {
namespace {

// Sizes in pixels. The map is as wide whatever the grid; text keeps its size.
constexpr int kMapWidth = 900;
constexpr int kThumbnailWidth = 180;
constexpr int kLeft = 72, kRight = 64, kTop = 46;
constexpr int kAxisLabels = 26, kBarGap = 12, kBarHeight = 16, kBarLabels = 24, kLegend = 30;
constexpr double kTitleFont = 17, kTextFont = 14;
constexpr int kArrowSpacing = 30;  // pixels between wind arrows
constexpr double kLongestArrow = 26;

bool drawable(float v) { return std::isfinite(v) && v != i2m::missing_flag; }

struct CairoDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Context = std::unique_ptr<cairo_t, CairoDeleter>;
using Surface = std::unique_ptr<cairo_surface_t, CairoDeleter>;

// The values shown: one record, or the wind speed with its components.
struct Field {
  const RecordInfo* record = nullptr;
  std::vector<float> values, u, v;
  bool wind = false;
  std::string title, unit;
};

Field load_field(const WorkFileLayout& layout, const std::string& choice) {
  Field f;
  if (choice.rfind("wind:", 0) == 0) {
    const std::string level = choice.substr(5);
    const RecordInfo& u = find_record(layout, "u:" + level);
    const RecordInfo& v = find_record(layout, "v:" + level);
    read_work_record(layout, u, f.u);
    read_work_record(layout, v, f.v);
    f.values.resize(f.u.size());
    for (size_t p = 0; p < f.u.size(); ++p) {
      f.values[p] = drawable(f.u[p]) && drawable(f.v[p]) ? std::hypot(f.u[p], f.v[p]) : NAN;
    }
    f.wind = true;
    f.record = &u;
    f.title = "Wind speed at " + level + " hPa (m/s), arrows from u and v";
    f.unit = "m/s";
    return f;
  }
  f.record = &find_record(layout, choice);
  read_work_record(layout, *f.record, f.values);
  f.title = field_title(layout, *f.record);
  f.unit = layout.fields[f.record->field].unit;
  return f;
}

// Where grid points fall in the picture. Rows are shown north up.
struct Geometry {
  int im = 0, jm = 0;
  double lat0 = 0, dlat = 0, lon0 = 0, dlon = 0;  // of row 0 and column 0, steps per index
  bool south_first = true;
  double map_x = 0, map_y = 0, cell_w = 0, cell_h = 0;
  int map_w = 0, map_h = 0;

  double x_of(double i) const { return map_x + (i + 0.5) * cell_w; }
  double y_of(double j) const { return map_y + ((south_first ? jm - 1 - j : j) + 0.5) * cell_h; }
};

Geometry geometry(const WorkFileLayout& layout, int map_width, int left, int top) {
  Geometry g;
  const int32_t* k = layout.kgds;
  g.im = layout.im;
  g.jm = layout.jm;
  g.lat0 = k[3] / 1000.0;
  g.lon0 = k[4] / 1000.0;
  g.dlat = layout.jm > 1 ? (k[6] - k[3]) / 1000.0 / (layout.jm - 1) : 1;
  // Longitudes run eastwards; a last one below the first crosses 180°.
  const double lon_span = (k[7] - k[4]) / 1000.0 + (k[7] < k[4] ? 360.0 : 0.0);
  g.dlon = layout.im > 1 ? lon_span / (layout.im - 1) : 1;
  g.south_first = k[3] <= k[6];
  g.map_x = left;
  g.map_y = top;
  g.cell_w = static_cast<double>(map_width) / layout.im;
  // Square degrees, unless the grid numbers say nothing usable.
  const double aspect = g.dlon != 0 && g.dlat != 0 ? std::fabs(g.dlat / g.dlon) : 1.0;
  g.cell_h = g.cell_w * std::clamp(aspect, 0.25, 4.0);
  g.map_w = map_width;
  g.map_h = static_cast<int>(std::lround(g.cell_h * layout.jm));
  return g;
}

void set_colour(cairo_t* cr, const Rgb& c) { cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

// The map: one cell per grid point, drawn from an image of the grid scaled
// without smoothing (so SVG holds the same picture).
void draw_map(cairo_t* cr, const Geometry& g, const std::vector<float>& values, const ColourScale& scale,
              int64_t& missing) {
  Surface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, g.im, g.jm));
  cairo_surface_flush(image.get());
  unsigned char* data = cairo_image_surface_get_data(image.get());
  const int stride = cairo_image_surface_get_stride(image.get());
  const double span = scale.high - scale.low;
  for (int j = 0; j < g.jm; ++j) {
    const int row = g.south_first ? g.jm - 1 - j : j;
    auto* pixels = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(row) * stride);
    for (int i = 0; i < g.im; ++i) {
      const float v = values[static_cast<size_t>(j) * g.im + i];
      Rgb c = kMissingColour;
      if (drawable(v)) {
        c = viridis((v - scale.low) / span);
      } else {
        ++missing;
      }
      pixels[i] = (static_cast<uint32_t>(c.r) << 16) | (static_cast<uint32_t>(c.g) << 8) | c.b;
    }
  }
  cairo_surface_mark_dirty(image.get());
  cairo_save(cr);
  cairo_translate(cr, g.map_x, g.map_y);
  cairo_scale(cr, g.cell_w, g.cell_h);
  cairo_set_source_surface(cr, image.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_rectangle(cr, 0, 0, g.im, g.jm);
  cairo_fill(cr);
  cairo_restore(cr);
}

void draw_coastline(cairo_t* cr, const WorkFileLayout& layout, const Geometry& g, double width) {
  std::vector<float> mask;
  read_work_record(layout, find_record(layout, "lsm"), mask);
  cairo_save(cr);
  cairo_rectangle(cr, g.map_x, g.map_y, g.map_w, g.map_h);
  cairo_clip(cr);
  cairo_set_source_rgb(cr, 0.08, 0.08, 0.08);
  cairo_set_line_width(cr, width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  // A grid wraps when its columns, one step each, make up the whole circle.
  const bool wraps = g.im > 2 && std::fabs(std::fabs(g.dlon) * g.im - 360.0) < std::fabs(g.dlon) / 2;
  for (const Segment& s : coastline(mask, g.im, g.jm, wraps)) {
    cairo_move_to(cr, g.x_of(s.i0), g.y_of(s.j0));
    cairo_line_to(cr, g.x_of(s.i1), g.y_of(s.j1));
  }
  cairo_stroke(cr);
  cairo_restore(cr);
}

void draw_arrows(cairo_t* cr, const Geometry& g, const Field& f) {
  const int step_i = std::max(1, static_cast<int>(std::ceil(kArrowSpacing / g.cell_w)));
  const int step_j = std::max(1, static_cast<int>(std::ceil(kArrowSpacing / g.cell_h)));
  float fastest = 0;
  for (int j = step_j / 2; j < g.jm; j += step_j) {
    for (int i = step_i / 2; i < g.im; i += step_i) {
      const float s = f.values[static_cast<size_t>(j) * g.im + i];
      if (drawable(s)) fastest = std::max(fastest, s);
    }
  }
  if (fastest <= 0) return;
  // Screen y grows downwards; northward v points up, also on grids stored north first.
  for (int pass = 0; pass < 2; ++pass) {  // a white halo, then the black arrow
    cairo_set_source_rgb(cr, pass == 0 ? 1 : 0, pass == 0 ? 1 : 0, pass == 0 ? 1 : 0);
    cairo_set_line_width(cr, pass == 0 ? 3.0 : 1.2);
    for (int j = step_j / 2; j < g.jm; j += step_j) {
      for (int i = step_i / 2; i < g.im; i += step_i) {
        const size_t p = static_cast<size_t>(j) * g.im + i;
        if (!drawable(f.values[p]) || f.values[p] == 0) continue;
        const double length = kLongestArrow * f.values[p] / fastest;
        const double dx = f.u[p] / f.values[p] * length, dy = -f.v[p] / f.values[p] * length;
        const double x0 = g.x_of(i) - dx / 2, y0 = g.y_of(j) - dy / 2, x1 = x0 + dx, y1 = y0 + dy;
        const double angle = std::atan2(dy, dx), head = std::min(7.0, length / 2);
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
        cairo_move_to(cr, x1 - head * std::cos(angle - 0.45), y1 - head * std::sin(angle - 0.45));
        cairo_line_to(cr, x1, y1);
        cairo_line_to(cr, x1 - head * std::cos(angle + 0.45), y1 - head * std::sin(angle + 0.45));
      }
    }
    cairo_stroke(cr);
  }
}

void text_font(cairo_t* cr, double size, bool bold = false) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

// Writes `text` with its anchor point at (x, y): align 0 left, 0.5 centre, 1 right.
void show_text(cairo_t* cr, const std::string& text, double x, double y, double align) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_move_to(cr, x - align * e.x_advance, y);
  cairo_show_text(cr, text.c_str());
}

// "45°N", "30°S", "0°"; "120°W", "180°"; decimals when the step needs them.
std::string degrees(double value, bool latitude, double step) {
  if (!latitude) {
    value = std::fmod(value, 360.0);
    if (value > 180) value -= 360;
    if (value <= -180) value += 360;
  }
  char number[32];
  std::snprintf(number, sizeof number, "%.*f", step < 1 ? (step < 0.5 ? 2 : 1) : 0, std::fabs(value));
  std::string s = number;
  if (std::fabs(value) < 1e-9 || (!latitude && std::fabs(std::fabs(value) - 180) < 1e-9)) return s + "°";
  return s + "°" + (latitude ? (value > 0 ? "N" : "S") : (value > 0 ? "E" : "W"));
}

// Round degrees between `from` and `to`, at most 7 of them.
std::vector<double> degree_ticks(double from, double to, double& step) {
  static const double kSteps[] = {0.1, 0.2, 0.25, 0.5, 1, 2, 2.5, 5, 10, 15, 20, 30, 45, 60, 90};
  if (from > to) std::swap(from, to);
  for (double s : kSteps) {
    const double first = std::ceil(from / s - 1e-9), last = std::floor(to / s + 1e-9);
    if (last - first + 1 <= 7) {
      step = s;
      std::vector<double> ticks;
      for (double k = first; k <= last; ++k) ticks.push_back(k * s);
      return ticks;
    }
  }
  step = 90;
  return {};
}

void draw_axes(cairo_t* cr, const Geometry& g) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, g.map_x - 0.5, g.map_y - 0.5, g.map_w + 1, g.map_h + 1);
  cairo_stroke(cr);
  text_font(cr, kTextFont);
  double step = 0;
  const double lat_last = g.lat0 + (g.jm - 1) * g.dlat;
  // A grid whose first and last rows (columns) lie at one latitude
  // (longitude) gives no axis to label.
  for (double lat : g.dlat == 0 ? std::vector<double>() : degree_ticks(g.lat0, lat_last, step)) {
    const double y = g.y_of((lat - g.lat0) / g.dlat);
    cairo_move_to(cr, g.map_x - 5, y);
    cairo_line_to(cr, g.map_x, y);
    cairo_stroke(cr);
    show_text(cr, degrees(lat, true, step), g.map_x - 8, y + kTextFont / 3, 1.0);
  }
  const double lon_last = g.lon0 + (g.im - 1) * g.dlon;
  for (double lon : g.dlon == 0 ? std::vector<double>() : degree_ticks(g.lon0, lon_last, step)) {
    const double x = g.x_of((lon - g.lon0) / g.dlon);
    cairo_move_to(cr, x, g.map_y + g.map_h);
    cairo_line_to(cr, x, g.map_y + g.map_h + 5);
    cairo_stroke(cr);
    show_text(cr, degrees(lon, false, step), x, g.map_y + g.map_h + 5 + kTextFont + 2, 0.5);
  }
}

void draw_colour_bar(cairo_t* cr, const Geometry& g, const ColourScale& scale, const std::string& unit) {
  const double top = g.map_y + g.map_h + kAxisLabels + kBarGap;
  // A gradient through enough stops of the colour map that no step shows.
  cairo_pattern_t* bar = cairo_pattern_create_linear(g.map_x, 0, g.map_x + g.map_w, 0);
  constexpr int kStops = 64;
  for (int n = 0; n <= kStops; ++n) {
    const Rgb c = viridis(static_cast<double>(n) / kStops);
    cairo_pattern_add_color_stop_rgb(bar, static_cast<double>(n) / kStops, c.r / 255.0, c.g / 255.0, c.b / 255.0);
  }
  cairo_set_source(cr, bar);
  cairo_rectangle(cr, g.map_x, top, g.map_w, kBarHeight);
  cairo_fill(cr);
  cairo_pattern_destroy(bar);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, g.map_x - 0.5, top - 0.5, g.map_w + 1, kBarHeight + 1);
  cairo_stroke(cr);
  text_font(cr, kTextFont);
  for (double tick : scale.ticks) {
    const double x = g.map_x + (tick - scale.low) / (scale.high - scale.low) * g.map_w;
    cairo_move_to(cr, x, top + kBarHeight);
    cairo_line_to(cr, x, top + kBarHeight + 4);
    cairo_stroke(cr);
    show_text(cr, tick_label(scale, tick), x, top + kBarHeight + 4 + kTextFont, 0.5);
  }
  show_text(cr, unit, g.map_x + g.map_w + 10, top + kBarHeight - 2, 0);
}

void draw_legend(cairo_t* cr, const Geometry& g, int64_t missing) {
  const double top = g.map_y + g.map_h + kAxisLabels + kBarGap + kBarHeight + kBarLabels + 8;
  set_colour(cr, kMissingColour);
  cairo_rectangle(cr, g.map_x, top, 14, 14);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  text_font(cr, kTextFont);
  const std::string count = std::to_string(missing) + (missing == 1 ? " point" : " points");
  show_text(cr, "missing, NaN or infinite: " + count, g.map_x + 20, top + 12, 0);
}

ColourScale scale_for(const std::vector<float>& values, const PictureRequest& request) {
  if (request.range) return fixed_scale(request.range->first, request.range->second);
  double low = INFINITY, high = -INFINITY;
  for (float v : values) {
    if (!drawable(v)) continue;
    low = std::min(low, static_cast<double>(v));
    high = std::max(high, static_cast<double>(v));
  }
  if (!std::isfinite(low)) low = high = 0;
  return round_scale(low, high);
}

Surface make_surface(const std::string& path, bool svg, int width, int height) {
  return Surface(svg ? cairo_svg_surface_create(path.c_str(), width, height)
                     : cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
}

void finish(const Surface& surface, const std::string& path, bool svg) {
  cairo_surface_flush(surface.get());
  if (svg) {
    cairo_surface_finish(surface.get());
    const cairo_status_t status = cairo_surface_status(surface.get());
    if (status != CAIRO_STATUS_SUCCESS) {
      throw InspectError(path + ": cannot write the picture: " + cairo_status_to_string(status));
    }
    return;
  }
  cairo_surface_t* s = surface.get();
  write_png(cairo_image_surface_get_data(s), cairo_image_surface_get_width(s), cairo_image_surface_get_height(s),
            cairo_image_surface_get_stride(s), path);
}

}  // namespace

std::string field_title(const WorkFileLayout& layout, const RecordInfo& record) {
  const LayoutField& f = layout.fields[record.field];
  std::string name;
  for (char c : f.name) {  // the .gdsinfo aligns with blanks: one between words
    if (c != ' ' || (!name.empty() && name.back() != ' ')) name += c;
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  name += level_text(layout, record);
  return f.unit.empty() ? name : name + " (" + f.unit + ")";
}

std::string readable_time(const std::string& time) {
  const bool digits = time.size() == 10 && std::all_of(time.begin(), time.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
  if (!digits) return time;
  return time.substr(0, 4) + "-" + time.substr(4, 2) + "-" + time.substr(6, 2) + " " + time.substr(8, 2) + " UTC";
}

std::optional<std::pair<double, double>> parse_range(const std::string& text) {
  const size_t slash = text.find('/', 1);  // a leading minus is a sign
  if (slash == std::string::npos) return std::nullopt;
  char* end = nullptr;
  const std::string a = text.substr(0, slash), b = text.substr(slash + 1);
  const double low = std::strtod(a.c_str(), &end);
  if (a.empty() || *end != '\0') return std::nullopt;
  const double high = std::strtod(b.c_str(), &end);
  if (b.empty() || *end != '\0' || !std::isfinite(low) || !std::isfinite(high) || !(low < high)) return std::nullopt;
  return std::make_pair(low, high);
}

void release_drawing_caches() {
  cairo_debug_reset_static_data();
  FcFini();  // fontconfig's configuration, which cairo's font map held
}

PictureInfo draw_picture(const WorkFileLayout& layout, const PictureRequest& request, const std::string& path) {
  const Field field = load_field(layout, request.choice);
  PictureInfo info;
  info.record = field.record->number;
  info.scale = scale_for(field.values, request);
  const bool full = !request.thumbnail;
  const Geometry g = geometry(layout, full ? kMapWidth : kThumbnailWidth, full ? kLeft : 0, full ? kTop : 0);
  info.width = full ? kLeft + g.map_w + kRight : g.map_w;
  info.height = full ? kTop + g.map_h + kAxisLabels + kBarGap + kBarHeight + kBarLabels + kLegend : g.map_h;
  info.map_x = static_cast<int>(g.map_x);
  info.map_y = static_cast<int>(g.map_y);
  info.map_width = g.map_w;
  info.map_height = g.map_h;

  // An SVG is written by cairo itself, under a temporary name until done.
  std::optional<i2m::ReplacementFile> svg_file;
  if (request.svg) {
    svg_file.emplace(path);
    svg_file->close();
  }
  const Surface surface = make_surface(request.svg ? svg_file->temporary_path() : path, request.svg, info.width, info.height);
  const Context cr(cairo_create(surface.get()));
  cairo_set_source_rgb(cr.get(), 1, 1, 1);
  cairo_paint(cr.get());
  draw_map(cr.get(), g, field.values, info.scale, info.missing);
  draw_coastline(cr.get(), layout, g, full ? 1.3 : 0.8);
  if (field.wind) draw_arrows(cr.get(), g, field);
  if (full) {
    info.title = field.title;
    if (!request.time.empty()) info.title += ", " + readable_time(request.time);
    info.title += ", " + std::to_string(layout.im) + " x " + std::to_string(layout.jm) + " points";
    cairo_set_source_rgb(cr.get(), 0, 0, 0);
    text_font(cr.get(), kTitleFont, true);
    show_text(cr.get(), info.title, g.map_x, kTop - 16, 0);
    draw_axes(cr.get(), g);
    draw_colour_bar(cr.get(), g, info.scale, field.unit);
    draw_legend(cr.get(), g, info.missing);
  }
  finish(surface, path, request.svg);
  if (svg_file) svg_file->commit();
  return info;
}

}  // namespace inspect
