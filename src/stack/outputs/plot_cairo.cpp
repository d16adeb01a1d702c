// The plot drawn with cairo: one routine for the SVG, PDF and PNG surfaces.
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>

#include "bperp/stack/outputs/baseline_plot.h"

// Under LeakSanitizer: fontconfig keeps its configuration and cairo its
// fonts until the process ends, by design, without freeing them at exit;
// those are not this program's leaks.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BPERP_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define BPERP_LEAK_CHECKED 1
#endif
#ifdef BPERP_LEAK_CHECKED
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libcairo.so\n"; }
// Said nowhere: standard error stays the program's.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

namespace bperp::stack {

namespace {

const char* const font_family = "DejaVu Sans";
// A PDF's creation date, the same every day, so that one input gives one file.
const char* const fixed_creation_date = "2000-01-01T00:00:00Z";
// An SVG surface names its group by a counter of the process's surfaces;
// every file says the first.
const std::string svg_surface_id = "<g id=\"surface";

const char* const grid_colour = "#e3e3e3";
const char* const axis_colour = "#333333";
const char* const text_colour = "#222222";
const char* const subtitle_colour = "#555555";
constexpr double halo_width = 0.25;  // of a point label's size

struct CairoDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
  void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};
using Context = std::unique_ptr<cairo_t, CairoDeleter>;
using Surface = std::unique_ptr<cairo_surface_t, CairoDeleter>;

// "#rrggbb" as the source colour.
void set_colour(cairo_t* cr, const std::string& colour, double alpha = 1.0) {
  const auto channel = [&](int k) { return std::stoi(colour.substr(1 + 2 * k, 2), nullptr, 16) / 255.0; };
  cairo_set_source_rgba(cr, channel(0), channel(1), channel(2), alpha);
}

// The font of the plots at size: no hinting, grey antialiasing, so that
// texts measure and draw the same on every surface and machine.
void set_font(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, font_family, CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  const std::unique_ptr<cairo_font_options_t, CairoDeleter> options(cairo_font_options_create());
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, options.get());
}

TextMetrics measured(cairo_t* cr, const std::string& text, double size, bool bold) {
  set_font(cr, size, bold);
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_font_extents_t f;
  cairo_font_extents(cr, &f);
  return {std::max(e.x_advance, e.x_bearing + e.width), f.ascent, f.descent};
}

void line(cairo_t* cr, double x1, double y1, double x2, double y2) {
  cairo_move_to(cr, x1, y1);
  cairo_line_to(cr, x2, y2);
  cairo_stroke(cr);
}

// A text; a point's date on a white halo, so that the lines it crosses
// leave it readable (the halo is outlines, the text stays text).
void draw_text(cairo_t* cr, const PlacedText& t) {
  set_font(cr, t.size, t.bold);
  cairo_save(cr);
  cairo_translate(cr, t.x, t.y);
  if (t.vertical) cairo_rotate(cr, -0.5 * std::numbers::pi);
  if (t.role == TextRole::point_label) {
    cairo_move_to(cr, 0.0, 0.0);
    cairo_text_path(cr, t.text.c_str());
    set_colour(cr, "#ffffff", 0.85);
    cairo_set_line_width(cr, halo_width * t.size);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
  }
  set_colour(cr, t.role == TextRole::subtitle ? subtitle_colour : text_colour);
  cairo_move_to(cr, 0.0, 0.0);
  cairo_show_text(cr, t.text.c_str());
  cairo_restore(cr);
}

// The grid, the zero line and the ticks.
void draw_axes(cairo_t* cr, const PlotLayout& l) {
  const Box& a = l.area;
  const double s = l.font_size, width = l.line_width;
  set_colour(cr, grid_colour);
  cairo_set_line_width(cr, width);
  for (const Tick& t : l.year_ticks) line(cr, t.at, a.top, t.at, a.bottom);
  for (const Tick& t : l.baseline_ticks) line(cr, a.left, t.at, a.right, t.at);
  set_colour(cr, axis_colour);
  cairo_set_line_width(cr, 1.5 * width);
  line(cr, a.left, l.y(0.0), a.right, l.y(0.0));
  cairo_set_line_width(cr, width);
  for (const Tick& t : l.year_ticks) line(cr, t.at, a.bottom, t.at, a.bottom + 0.35 * s);
  for (const Tick& t : l.month_ticks) line(cr, t.at, a.bottom, t.at, a.bottom + 0.18 * s);
  for (const Tick& t : l.baseline_ticks) line(cr, a.left - 0.35 * s, t.at, a.left, t.at);
}

// The pairs' lines, clipped to the plot area.
void draw_pairs(cairo_t* cr, const PlotLayout& l, const PairNetwork& network) {
  const std::vector<NetworkPoint>& points = network.points();
  const bool shaded = l.colour_bar.has_value();
  cairo_save(cr);
  cairo_rectangle(cr, l.area.left, l.area.top, l.area.right - l.area.left, l.area.bottom - l.area.top);
  cairo_clip(cr);
  cairo_set_line_width(cr, 1.3 * l.line_width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  network.for_each([&](const Pair& p) {
    const NetworkPoint& a = points[p.first];
    const NetworkPoint& b = points[p.second];
    if (!a.day || !b.day) return;
    set_colour(cr, shaded ? coherence_colour(p.coherence) : l.pair_colour);
    line(cr, l.x(static_cast<double>(*a.day)), l.y(a.perpendicular), l.x(static_cast<double>(*b.day)),
         l.y(b.perpendicular));
  });
  cairo_restore(cr);
}

void dot(cairo_t* cr, double x, double y, double r, const std::string& colour, double outline) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, r, 0.0, 2.0 * std::numbers::pi);
  set_colour(cr, colour);
  cairo_fill_preserve(cr);
  set_colour(cr, "#ffffff");
  cairo_set_line_width(cr, outline);
  cairo_stroke(cr);
}

void ring(cairo_t* cr, double x, double y, double r, double width) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, r, 0.0, 2.0 * std::numbers::pi);
  set_colour(cr, reference_mark_colour);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
}

void draw_points(cairo_t* cr, const PlotLayout& l) {
  const double r = l.marker_radius;
  for (const PlacedPoint& p : l.points) {
    dot(cr, p.x, p.y, r, p.colour, 0.6 * l.line_width);
    if (p.reference) ring(cr, p.x, p.y, l.ring_radius, 2.0 * l.line_width);
  }
}

void draw_legend(cairo_t* cr, const PlotLayout& l) {
  const double r = l.marker_radius, s = l.font_size;
  for (const LegendMark& m : l.legend) {
    switch (m.kind) {
      case LegendMark::Kind::ring:
        dot(cr, m.x, m.y, r, "#ffffff", 0.0);
        ring(cr, m.x, m.y, l.ring_radius, 2.0 * l.line_width);
        break;
      case LegendMark::Kind::dot: dot(cr, m.x, m.y, r, m.colour, 0.6 * l.line_width); break;
      case LegendMark::Kind::line:
        set_colour(cr, m.colour);
        cairo_set_line_width(cr, 1.3 * l.line_width);
        line(cr, m.x - 0.9 * s, m.y, m.x + 0.9 * s, m.y);
        break;
    }
  }
  if (!l.colour_bar) return;
  const Box& b = *l.colour_bar;
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0.0, b.bottom, 0.0, b.top);
  for (const ColourStop& stop : coherence_scale()) {
    const std::string c = stop.colour;
    const auto channel = [&](int k) { return std::stoi(c.substr(1 + 2 * k, 2), nullptr, 16) / 255.0; };
    cairo_pattern_add_color_stop_rgb(gradient, stop.at, channel(0), channel(1), channel(2));
  }
  cairo_rectangle(cr, b.left, b.top, b.right - b.left, b.bottom - b.top);
  cairo_set_source(cr, gradient);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(gradient);
  set_colour(cr, axis_colour);
  cairo_set_line_width(cr, l.line_width);
  cairo_stroke(cr);
  for (const double g : {0.0, 0.5, 1.0}) {
    const double y = b.bottom - g * (b.bottom - b.top);
    line(cr, b.right, y, b.right + 0.2 * s, y);
  }
}

void draw(cairo_t* cr, const PlotLayout& l, const PairNetwork& network) {
  set_colour(cr, "#ffffff");
  cairo_paint(cr);
  draw_axes(cr, l);
  draw_pairs(cr, l, network);
  // The points' dates over the lines, under the points.
  for (const PlacedText& t : l.texts)
    if (t.role == TextRole::point_label) draw_text(cr, t);
  draw_points(cr, l);
  set_colour(cr, axis_colour);
  cairo_set_line_width(cr, l.line_width);
  cairo_rectangle(cr, l.area.left, l.area.top, l.area.right - l.area.left, l.area.bottom - l.area.top);
  cairo_stroke(cr);
  draw_legend(cr, l);
  for (const PlacedText& t : l.texts)
    if (t.role != TextRole::point_label) draw_text(cr, t);
}

// Where a surface's bytes go: straight to a stream, or gathered (an SVG,
// whose surface name is set before it is written).
struct Sink {
  std::FILE* out = nullptr;
  std::string* gathered = nullptr;
};

cairo_status_t write_bytes(void* closure, const unsigned char* data, unsigned int length) {
  Sink& sink = *static_cast<Sink*>(closure);
  if (sink.gathered != nullptr) {
    sink.gathered->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  }
  return std::fwrite(data, 1, length, sink.out) == length ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

// svg with its first group's id "surface1" whatever the process's count.
std::string first_surface(std::string svg) {
  const std::size_t at = svg.find(svg_surface_id);
  if (at == std::string::npos) return svg;
  const std::size_t digits = at + svg_surface_id.size();
  const std::size_t end = svg.find('"', digits);
  if (end != std::string::npos) svg.replace(digits, end - digits, 1, '1');
  return svg;
}

bool failed(cairo_status_t status, std::string* problem) {
  if (status == CAIRO_STATUS_SUCCESS) return false;
  *problem = std::string("cairo: ") + cairo_status_to_string(status);
  return true;
}

}  // namespace

bool plot_drawing_available() { return true; }

MeasureText plot_text_measure() {
  const std::shared_ptr<cairo_surface_t> surface(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1),
                                                 cairo_surface_destroy);
  const std::shared_ptr<cairo_t> cr(cairo_create(surface.get()), cairo_destroy);
  return [surface, cr](const std::string& text, double size, bool bold) {
    return measured(cr.get(), text, size, bold);
  };
}

bool write_baseline_time_plot(std::FILE* out, PlotFormat format, const PlotSize& size,
                              const std::vector<NetworkPoint>& points, const PairNetwork& network,
                              const Connectivity* parts, const std::string& convention, std::string* problem) {
  const PlotLayout layout = stack_plot_layout(points, network, parts, convention, size);
  std::string svg;
  Sink sink{out, format == PlotFormat::svg ? &svg : nullptr};
  Surface surface;
  switch (format) {
    case PlotFormat::svg:
      surface.reset(cairo_svg_surface_create_for_stream(write_bytes, &sink, layout.width, layout.height));
      break;
    case PlotFormat::pdf:
      surface.reset(cairo_pdf_surface_create_for_stream(write_bytes, &sink, layout.width, layout.height));
      cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE, fixed_creation_date);
      cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, "Baseline-time plot");
      break;
    case PlotFormat::png:
      surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, raster_width(size), raster_height(size)));
      break;
  }
  if (failed(cairo_surface_status(surface.get()), problem)) return false;
  {
    const Context cr(cairo_create(surface.get()));
    if (format == PlotFormat::png)
      cairo_scale(cr.get(), raster_width(size) / layout.width, raster_height(size) / layout.height);
    draw(cr.get(), layout, network);
    if (failed(cairo_status(cr.get()), problem)) return false;
  }
  if (format == PlotFormat::png) {
    if (failed(cairo_surface_write_to_png_stream(surface.get(), write_bytes, &sink), problem)) return false;
  } else {
    cairo_surface_finish(surface.get());
    if (failed(cairo_surface_status(surface.get()), problem)) return false;
  }
  if (format == PlotFormat::svg) {
    svg = first_surface(std::move(svg));
    if (std::fwrite(svg.data(), 1, svg.size(), out) != svg.size()) {
      *problem = "write error";
      return false;
    }
  }
  return true;
}

}  // namespace bperp::stack
