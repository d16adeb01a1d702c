// The table of bperp-cairo.so, the module that draws the plot through
// cairo (loaded only when a plot is drawn or its texts measured): a canvas
// and the drawing calls the plot makes, in plain C types only, since the
// module and its loader may each carry their own C++ library. Canvases are
// opaque handles; no function throws. Lengths are in the canvas's units
// (points; a PNG's pixels are scaled to them), angles in radians, colours
// 0 to 1.
#pragma once

namespace bperp::stack {

// The version of this table: raised whenever a member changes.
inline constexpr unsigned canvas_module_abi = 1;

enum CanvasKind : int {
  canvas_svg = 0,     // width x height points, written through a CanvasWrite
  canvas_pdf = 1,     // the same, as PDF
  canvas_png = 2,     // raster_width x raster_height pixels, drawn at their ratio to width x height
  canvas_measure = 3  // nothing drawn: a 1 x 1 surface for measuring text
};

// Writes length bytes at data; 0 when they were all written.
using CanvasWrite = int (*)(void* closure, const unsigned char* data, unsigned int length);

// A text's extent in the current font: its advance and ink, the font's
// ascent and descent.
struct CanvasTextSize {
  double x_advance, x_bearing, width, ascent, descent;
};

struct CanvasModule {
  unsigned abi;  // canvas_module_abi
  // A canvas of kind, its bytes to write(closure) (none for a measure);
  // never null (a failed one says so through problem).
  void* (*open)(int kind, double width, double height, int raster_width, int raster_height, CanvasWrite write,
                void* closure);
  // A PDF's title and creation date (ISO 8601), before begin.
  void (*pdf_metadata)(void* canvas, const char* title, const char* creation_date);
  // Starts drawing (the scale of a PNG set).
  void (*begin)(void* canvas);
  // The failure of the canvas, then of its drawing once begun; null when
  // there is none.
  const char* (*problem)(void* canvas);
  // Ends the drawing and writes the file (a PNG's encoding, the end of an
  // SVG or PDF); its failure, or null.
  const char* (*finish)(void* canvas);
  void (*close)(void* canvas);

  // The font: DejaVu Sans at size, bold or not, unhinted, grey antialiased.
  void (*font)(void* canvas, double size, int bold);
  void (*measure)(void* canvas, const char* text, CanvasTextSize* size);
  void (*colour)(void* canvas, double red, double green, double blue, double alpha);
  void (*line_width)(void* canvas, double width);
  void (*round_caps)(void* canvas);
  void (*round_joins)(void* canvas);
  void (*move_to)(void* canvas, double x, double y);
  void (*line_to)(void* canvas, double x, double y);
  void (*new_sub_path)(void* canvas);
  void (*arc)(void* canvas, double x, double y, double radius, double from, double to);
  void (*rectangle)(void* canvas, double x, double y, double width, double height);
  void (*stroke)(void* canvas);
  void (*fill_preserve)(void* canvas);
  void (*clip)(void* canvas);
  void (*save)(void* canvas);
  void (*restore)(void* canvas);
  void (*translate)(void* canvas, double x, double y);
  void (*rotate)(void* canvas, double angle);
  void (*text_path)(void* canvas, const char* text);
  void (*show_text)(void* canvas, const char* text);
  void (*paint)(void* canvas);
  // The source a linear gradient from (x0, y0) to (x1, y1) through count
  // stops, each four numbers: offset 0 to 1, red, green, blue.
  void (*gradient)(void* canvas, double x0, double y0, double x1, double y1, const double* stops, int count);
};

}  // namespace bperp::stack
