// The plot drawn through the canvas of bperp-cairo.so (cairo, loaded at the
// first plot or text measure): one routine for the SVG, PDF and PNG
// surfaces.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "bperp/stack/outputs/baseline_plot.h"
#include "bperp/stack/outputs/canvas_module.h"
#include "bperp/stack/support/module_loader.h"

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

// cairo, through its module loaded at the first use; null, *problem set,
// when it can't be loaded.
const CanvasModule* cairo_library(std::string* problem) {
  static const LoadedModule loaded =
      load_module({"bperp-cairo.so", "bperp_cairo_module", "cairo", "libcairo2"}, canvas_module_abi);
  if (loaded.table == nullptr && problem != nullptr) *problem = loaded.problem;
  return static_cast<const CanvasModule*>(loaded.table);
}

// A canvas of the module and its table, closed when it goes.
struct Canvas {
  const CanvasModule* lib;
  void* canvas;
  Canvas(const CanvasModule* module, void* opened) : lib(module), canvas(opened) {}
  ~Canvas() { lib->close(canvas); }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
};

// "#rrggbb" as the source colour.
void set_colour(Canvas* cr, const std::string& colour, double alpha = 1.0) {
  const auto channel = [&](int k) { return std::stoi(colour.substr(1 + 2 * k, 2), nullptr, 16) / 255.0; };
  cr->lib->colour(cr->canvas, channel(0), channel(1), channel(2), alpha);
}

// The font of the plots at size: no hinting, grey antialiasing, so that
// texts measure and draw the same on every surface and machine.
void set_font(Canvas* cr, double size, bool bold) {
  cr->lib->font(cr->canvas, size, bold ? 1 : 0);
}

TextMetrics measured(Canvas* cr, const std::string& text, double size, bool bold) {
  set_font(cr, size, bold);
  CanvasTextSize e{};
  cr->lib->measure(cr->canvas, text.c_str(), &e);
  return {std::max(e.x_advance, e.x_bearing + e.width), e.ascent, e.descent};
}

void line(Canvas* cr, double x1, double y1, double x2, double y2) {
  cr->lib->move_to(cr->canvas, x1, y1);
  cr->lib->line_to(cr->canvas, x2, y2);
  cr->lib->stroke(cr->canvas);
}

// A text; a point's date on a white halo, so that the lines it crosses
// leave it readable (the halo is outlines, the text stays text).
void draw_text(Canvas* cr, const PlacedText& t) {
  set_font(cr, t.size, t.bold);
  cr->lib->save(cr->canvas);
  cr->lib->translate(cr->canvas, t.x, t.y);
  if (t.vertical) cr->lib->rotate(cr->canvas, -0.5 * std::numbers::pi);
  if (t.role == TextRole::point_label) {
    cr->lib->move_to(cr->canvas, 0.0, 0.0);
    cr->lib->text_path(cr->canvas, t.text.c_str());
    set_colour(cr, "#ffffff", 0.85);
    cr->lib->line_width(cr->canvas, halo_width * t.size);
    cr->lib->round_joins(cr->canvas);
    cr->lib->stroke(cr->canvas);
  }
  set_colour(cr, t.role == TextRole::subtitle ? subtitle_colour : text_colour);
  cr->lib->move_to(cr->canvas, 0.0, 0.0);
  cr->lib->show_text(cr->canvas, t.text.c_str());
  cr->lib->restore(cr->canvas);
}

// The grid, the zero line and the ticks.
void draw_axes(Canvas* cr, const PlotLayout& l) {
  const Box& a = l.area;
  const double s = l.font_size, width = l.line_width;
  set_colour(cr, grid_colour);
  cr->lib->line_width(cr->canvas, width);
  for (const Tick& t : l.year_ticks) line(cr, t.at, a.top, t.at, a.bottom);
  for (const Tick& t : l.baseline_ticks) line(cr, a.left, t.at, a.right, t.at);
  set_colour(cr, axis_colour);
  cr->lib->line_width(cr->canvas, 1.5 * width);
  line(cr, a.left, l.y(0.0), a.right, l.y(0.0));
  cr->lib->line_width(cr->canvas, width);
  for (const Tick& t : l.year_ticks) line(cr, t.at, a.bottom, t.at, a.bottom + 0.35 * s);
  for (const Tick& t : l.month_ticks) line(cr, t.at, a.bottom, t.at, a.bottom + 0.18 * s);
  for (const Tick& t : l.baseline_ticks) line(cr, a.left - 0.35 * s, t.at, a.left, t.at);
}

// The pairs' lines, clipped to the plot area.
void draw_pairs(Canvas* cr, const PlotLayout& l, const PairNetwork& network) {
  const std::vector<NetworkPoint>& points = network.points();
  const bool shaded = l.colour_bar.has_value();
  cr->lib->save(cr->canvas);
  cr->lib->rectangle(cr->canvas, l.area.left, l.area.top, l.area.right - l.area.left, l.area.bottom - l.area.top);
  cr->lib->clip(cr->canvas);
  cr->lib->line_width(cr->canvas, 1.3 * l.line_width);
  cr->lib->round_caps(cr->canvas);
  network.for_each([&](const Pair& p) {
    const NetworkPoint& a = points[p.first];
    const NetworkPoint& b = points[p.second];
    if (!a.day || !b.day) return;
    set_colour(cr, shaded ? coherence_colour(p.coherence) : l.pair_colour);
    line(cr, l.x(static_cast<double>(*a.day)), l.y(a.perpendicular), l.x(static_cast<double>(*b.day)),
         l.y(b.perpendicular));
  });
  cr->lib->restore(cr->canvas);
}

void dot(Canvas* cr, double x, double y, double r, const std::string& colour, double outline) {
  cr->lib->new_sub_path(cr->canvas);
  cr->lib->arc(cr->canvas, x, y, r, 0.0, 2.0 * std::numbers::pi);
  set_colour(cr, colour);
  cr->lib->fill_preserve(cr->canvas);
  set_colour(cr, "#ffffff");
  cr->lib->line_width(cr->canvas, outline);
  cr->lib->stroke(cr->canvas);
}

void ring(Canvas* cr, double x, double y, double r, double width) {
  cr->lib->new_sub_path(cr->canvas);
  cr->lib->arc(cr->canvas, x, y, r, 0.0, 2.0 * std::numbers::pi);
  set_colour(cr, reference_mark_colour);
  cr->lib->line_width(cr->canvas, width);
  cr->lib->stroke(cr->canvas);
}

void draw_points(Canvas* cr, const PlotLayout& l) {
  const double r = l.marker_radius;
  for (const PlacedPoint& p : l.points) {
    dot(cr, p.x, p.y, r, p.colour, 0.6 * l.line_width);
    if (p.reference) ring(cr, p.x, p.y, l.ring_radius, 2.0 * l.line_width);
  }
}

void draw_legend(Canvas* cr, const PlotLayout& l) {
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
        cr->lib->line_width(cr->canvas, 1.3 * l.line_width);
        line(cr, m.x - 0.9 * s, m.y, m.x + 0.9 * s, m.y);
        break;
    }
  }
  if (!l.colour_bar) return;
  const Box& b = *l.colour_bar;
  std::vector<double> stops;
  for (const ColourStop& stop : coherence_scale()) {
    const std::string c = stop.colour;
    const auto channel = [&](int k) { return std::stoi(c.substr(1 + 2 * k, 2), nullptr, 16) / 255.0; };
    stops.insert(stops.end(), {stop.at, channel(0), channel(1), channel(2)});
  }
  cr->lib->rectangle(cr->canvas, b.left, b.top, b.right - b.left, b.bottom - b.top);
  cr->lib->gradient(cr->canvas, 0.0, b.bottom, 0.0, b.top, stops.data(), static_cast<int>(stops.size() / 4));
  cr->lib->fill_preserve(cr->canvas);
  set_colour(cr, axis_colour);
  cr->lib->line_width(cr->canvas, l.line_width);
  cr->lib->stroke(cr->canvas);
  for (const double g : {0.0, 0.5, 1.0}) {
    const double y = b.bottom - g * (b.bottom - b.top);
    line(cr, b.right, y, b.right + 0.2 * s, y);
  }
}

void draw(Canvas* cr, const PlotLayout& l, const PairNetwork& network) {
  set_colour(cr, "#ffffff");
  cr->lib->paint(cr->canvas);
  draw_axes(cr, l);
  draw_pairs(cr, l, network);
  // The points' dates over the lines, under the points.
  for (const PlacedText& t : l.texts)
    if (t.role == TextRole::point_label) draw_text(cr, t);
  draw_points(cr, l);
  set_colour(cr, axis_colour);
  cr->lib->line_width(cr->canvas, l.line_width);
  cr->lib->rectangle(cr->canvas, l.area.left, l.area.top, l.area.right - l.area.left, l.area.bottom - l.area.top);
  cr->lib->stroke(cr->canvas);
  draw_legend(cr, l);
  for (const PlacedText& t : l.texts)
    if (t.role != TextRole::point_label) draw_text(cr, t);
}

// Where a canvas's bytes go: straight to a stream, or gathered (an SVG,
// whose surface name is set before it is written).
struct Sink {
  std::FILE* out = nullptr;
  std::string* gathered = nullptr;
};

int write_bytes(void* closure, const unsigned char* data, unsigned int length) {
  Sink& sink = *static_cast<Sink*>(closure);
  if (sink.gathered != nullptr) {
    sink.gathered->append(reinterpret_cast<const char*>(data), length);
    return 0;
  }
  return std::fwrite(data, 1, length, sink.out) == length ? 0 : 1;
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

// True, *problem set, when cairo failed and said why.
bool failed(const char* why, std::string* problem) {
  if (why == nullptr) return false;
  *problem = std::string("cairo: ") + why;
  return true;
}

}  // namespace

std::string plot_drawing_problem() {
  std::string problem;
  if (cairo_library(&problem) == nullptr) return "cairo, and " + problem;
  return {};
}

MeasureText plot_text_measure() {
  const CanvasModule* lib = cairo_library(nullptr);
  if (lib == nullptr) return estimated_text_metrics;
  const auto cr = std::make_shared<Canvas>(lib, lib->open(canvas_measure, 1.0, 1.0, 1, 1, nullptr, nullptr));
  lib->begin(cr->canvas);
  return [cr](const std::string& text, double size, bool bold) { return measured(cr.get(), text, size, bold); };
}

bool write_baseline_time_plot(std::FILE* out, PlotFormat format, const PlotSize& size,
                              const std::vector<NetworkPoint>& points, const PairNetwork& network,
                              const Connectivity* parts, const std::string& convention, std::string* problem) {
  const CanvasModule* lib = cairo_library(problem);
  if (lib == nullptr) return false;
  const PlotLayout layout = stack_plot_layout(points, network, parts, convention, size);
  std::string svg;
  Sink sink{out, format == PlotFormat::svg ? &svg : nullptr};
  const int kind = format == PlotFormat::svg ? canvas_svg : format == PlotFormat::pdf ? canvas_pdf : canvas_png;
  Canvas cr(lib, lib->open(kind, layout.width, layout.height, raster_width(size), raster_height(size), write_bytes,
                           &sink));
  if (cr.canvas == nullptr) {
    *problem = "cairo: out of memory";
    return false;
  }
  if (format == PlotFormat::pdf) lib->pdf_metadata(cr.canvas, "Baseline-time plot", fixed_creation_date);
  if (failed(lib->problem(cr.canvas), problem)) return false;
  lib->begin(cr.canvas);
  draw(&cr, layout, network);
  if (failed(lib->problem(cr.canvas), problem) || failed(lib->finish(cr.canvas), problem)) return false;
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
