// bperp-cairo.so: cairo behind the table of canvas_module.h. Plain C calls
// only: no C++ library, no exception leaves it.
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <cstdlib>

#include "bperp/stack/outputs/canvas_module.h"

namespace {

using bperp::stack::CanvasModule;
using bperp::stack::CanvasTextSize;
using bperp::stack::CanvasWrite;

struct Canvas {
  int kind;
  double width, height;
  int raster_width, raster_height;
  CanvasWrite write;
  void* closure;
  cairo_surface_t* surface;
  cairo_t* cr;
};

cairo_t* cr_of(void* canvas) { return static_cast<Canvas*>(canvas)->cr; }

cairo_status_t write_bytes(void* closure, const unsigned char* data, unsigned int length) {
  const Canvas& c = *static_cast<Canvas*>(closure);
  return c.write(c.closure, data, length) == 0 ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

void* open(int kind, double width, double height, int raster_width, int raster_height, CanvasWrite write,
           void* closure) {
  auto* c = static_cast<Canvas*>(std::calloc(1, sizeof(Canvas)));
  if (c == nullptr) return nullptr;
  *c = Canvas{kind, width, height, raster_width, raster_height, write, closure, nullptr, nullptr};
  switch (kind) {
    case bperp::stack::canvas_svg: c->surface = cairo_svg_surface_create_for_stream(write_bytes, c, width, height); break;
    case bperp::stack::canvas_pdf: c->surface = cairo_pdf_surface_create_for_stream(write_bytes, c, width, height); break;
    case bperp::stack::canvas_png:
      c->surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, raster_width, raster_height);
      break;
    default: c->surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1); break;
  }
  return c;
}

void pdf_metadata(void* canvas, const char* title, const char* creation_date) {
  cairo_surface_t* s = static_cast<Canvas*>(canvas)->surface;
  cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_CREATE_DATE, creation_date);
  cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_TITLE, title);
}

void begin(void* canvas) {
  Canvas& c = *static_cast<Canvas*>(canvas);
  c.cr = cairo_create(c.surface);
  if (c.kind == bperp::stack::canvas_png) cairo_scale(c.cr, c.raster_width / c.width, c.raster_height / c.height);
}

const char* status_text(cairo_status_t status) {
  return status == CAIRO_STATUS_SUCCESS ? nullptr : cairo_status_to_string(status);
}

const char* problem(void* canvas) {
  const Canvas& c = *static_cast<Canvas*>(canvas);
  return status_text(c.cr != nullptr ? cairo_status(c.cr) : cairo_surface_status(c.surface));
}

const char* finish(void* canvas) {
  Canvas& c = *static_cast<Canvas*>(canvas);
  cairo_destroy(c.cr);
  c.cr = nullptr;
  if (c.kind == bperp::stack::canvas_png) return status_text(cairo_surface_write_to_png_stream(c.surface, write_bytes, &c));
  cairo_surface_finish(c.surface);
  return status_text(cairo_surface_status(c.surface));
}

void close(void* canvas) {
  Canvas* c = static_cast<Canvas*>(canvas);
  if (c == nullptr) return;
  if (c->cr != nullptr) cairo_destroy(c->cr);
  cairo_surface_destroy(c->surface);
  std::free(c);
}

void font(void* canvas, double size, int bold) {
  cairo_t* cr = cr_of(canvas);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                         bold != 0 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

void measure(void* canvas, const char* text, CanvasTextSize* size) {
  cairo_text_extents_t e;
  cairo_text_extents(cr_of(canvas), text, &e);
  cairo_font_extents_t f;
  cairo_font_extents(cr_of(canvas), &f);
  *size = CanvasTextSize{e.x_advance, e.x_bearing, e.width, f.ascent, f.descent};
}

void colour(void* canvas, double r, double g, double b, double a) { cairo_set_source_rgba(cr_of(canvas), r, g, b, a); }
void line_width(void* canvas, double width) { cairo_set_line_width(cr_of(canvas), width); }
void round_caps(void* canvas) { cairo_set_line_cap(cr_of(canvas), CAIRO_LINE_CAP_ROUND); }
void round_joins(void* canvas) { cairo_set_line_join(cr_of(canvas), CAIRO_LINE_JOIN_ROUND); }
void move_to(void* canvas, double x, double y) { cairo_move_to(cr_of(canvas), x, y); }
void line_to(void* canvas, double x, double y) { cairo_line_to(cr_of(canvas), x, y); }
void new_sub_path(void* canvas) { cairo_new_sub_path(cr_of(canvas)); }
void arc(void* canvas, double x, double y, double r, double from, double to) { cairo_arc(cr_of(canvas), x, y, r, from, to); }
void rectangle(void* canvas, double x, double y, double w, double h) { cairo_rectangle(cr_of(canvas), x, y, w, h); }
void stroke(void* canvas) { cairo_stroke(cr_of(canvas)); }
void fill_preserve(void* canvas) { cairo_fill_preserve(cr_of(canvas)); }
void clip(void* canvas) { cairo_clip(cr_of(canvas)); }
void save(void* canvas) { cairo_save(cr_of(canvas)); }
void restore(void* canvas) { cairo_restore(cr_of(canvas)); }
void translate(void* canvas, double x, double y) { cairo_translate(cr_of(canvas), x, y); }
void rotate(void* canvas, double angle) { cairo_rotate(cr_of(canvas), angle); }
void text_path(void* canvas, const char* text) { cairo_text_path(cr_of(canvas), text); }
void show_text(void* canvas, const char* text) { cairo_show_text(cr_of(canvas), text); }
void paint(void* canvas) { cairo_paint(cr_of(canvas)); }

void gradient(void* canvas, double x0, double y0, double x1, double y1, const double* stops, int count) {
  cairo_pattern_t* g = cairo_pattern_create_linear(x0, y0, x1, y1);
  for (int k = 0; k < count; ++k)
    cairo_pattern_add_color_stop_rgb(g, stops[4 * k], stops[4 * k + 1], stops[4 * k + 2], stops[4 * k + 3]);
  cairo_set_source(cr_of(canvas), g);
  cairo_pattern_destroy(g);
}

constexpr CanvasModule table{bperp::stack::canvas_module_abi,
                             open, pdf_metadata, begin, problem, finish, close,
                             font, measure, colour, line_width, round_caps, round_joins, move_to, line_to,
                             new_sub_path, arc, rectangle, stroke, fill_preserve, clip, save, restore, translate,
                             rotate, text_path, show_text, paint, gradient};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* bperp_cairo_module() { return &table; }
