// Where everything of the baseline-time plot goes, worked out before
// anything is drawn: the plot area and its two axes, the ticks, every text
// with the box it covers, the points with their colours, the legend and the
// colour bar. The drawing (baseline_plot.h: SVG, PDF, PNG) and the network
// page (network_page.h) both draw this layout, so that what they show is the
// same and that no two texts overlap can be checked on the layout itself.
//
// Lengths are in points (1/72 inch), y growing downwards from the
// picture's top left corner.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

// A size the user asks for: mm, or pixels of 1/96 inch.
struct PlotSize {
  enum class Unit { mm, px };
  double width = 88.0, height = 66.0;  // one journal column
  Unit unit = Unit::mm;
};

// A size as text ("88x66mm", "1200x800px"), each side a positive decimal
// number of mm from 20 to 1000 or of px from 100 to 10000; nullopt when it
// is none of those.
std::optional<PlotSize> plot_size_of(const std::string& text);

// The picture's size in points.
double width_points(const PlotSize& size);
double height_points(const PlotSize& size);
// A raster's pixels across and down: mm at 300 dots per inch, px as given
// (rounded, at least 1).
int raster_width(const PlotSize& size);
int raster_height(const PlotSize& size);

// A rectangle; overlaps() is true when the two share more than an edge.
struct Box {
  double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
  bool overlaps(const Box& other) const {
    return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
  }
  bool inside(const Box& other) const {
    return left >= other.left && right <= other.right && top >= other.top && bottom <= other.bottom;
  }
};

// How wide a text is set at a size (pt) and how far the font reaches above
// and below its baseline, pt.
struct TextMetrics {
  double width = 0.0, ascent = 0.0, descent = 0.0;
};
using MeasureText = std::function<TextMetrics(const std::string& text, double size, bool bold)>;

// A measure without a font: 0.62 em a character (wider than DejaVu Sans's
// digits), ascent 0.93 em and descent 0.24 em; for layouts made without
// cairo (the network page's, which the browser sets with its own fonts).
TextMetrics estimated_text_metrics(const std::string& text, double size, bool bold);

// A linear map from data values to picture coordinates.
struct AxisMap {
  double low = 0.0, high = 1.0;              // data range shown
  double pixel_low = 0.0, pixel_high = 1.0;  // where low and high go
  double operator()(double value) const {
    return pixel_low + (value - low) / (high - low) * (pixel_high - pixel_low);
  }
};

// One tick of an axis: where it stands (pt along its axis) and its data
// value.
struct Tick {
  double at = 0.0;
  double value = 0.0;
};

// What a text is, for its style.
enum class TextRole { title, subtitle, axis_title, tick_label, point_label, legend };

// A text set at (x, y), the start of its baseline, of a size (pt);
// vertical texts run upwards from there. Its box is where its glyphs can
// reach.
struct PlacedText {
  std::string text;
  TextRole role = TextRole::tick_label;
  double x = 0.0, y = 0.0;
  double size = 0.0;
  bool bold = false;
  bool vertical = false;
  TextMetrics metrics;
  Box box() const;
};

// One acquisition's mark: the index of its point, where it stands, its
// colour ("#rrggbb") and whether it is the reference.
struct PlacedPoint {
  std::size_t index = 0;
  double x = 0.0, y = 0.0;
  std::string colour;
  bool reference = false;
};

// One mark of the legend, before its text: a ring (the reference), a dot
// (acquisitions, a part) or a line (a pair), centred at (x, y).
struct LegendMark {
  enum class Kind { ring, dot, line } kind = Kind::dot;
  std::string colour;
  double x = 0.0, y = 0.0;
};

// The colour of a modelled coherence from 0 (light) to 1 (dark) on the
// scale of the colour bar: stops at 0, 1/3, 2/3 and 1.
struct ColourStop {
  double at;
  const char* colour;
};
const std::vector<ColourStop>& coherence_scale();
std::string coherence_colour(double coherence);

// The colour of the part of rank k (0 the reference's part): a colour each
// for the first coloured_parts, one grey for the rest.
inline constexpr std::size_t coloured_parts = 8;
std::string part_colour(std::size_t rank);

// What the plot shows: the points (every one dated; the reference among
// them), the number of pairs drawn, whether the pairs are shaded by their
// modelled coherence, the parts of the network (null or connected: one
// part), and the words naming the sign convention ("bperp's", "ISCE's").
struct PlotContent {
  const std::vector<NetworkPoint>* points = nullptr;
  std::size_t pair_count = 0;
  bool shaded = false;
  const Connectivity* parts = nullptr;
  std::string convention;
};

struct PlotLayout {
  double width = 0.0, height = 0.0;  // the picture, pt
  double font_size = 0.0;            // of the tick, point and legend texts
  Box area;                          // the plot area, framed
  AxisMap x, y;                      // days since 1970-01-01; m
  std::vector<Tick> year_ticks, month_ticks, baseline_ticks;
  std::vector<PlacedText> texts;     // every text, in drawing order
  std::vector<PlacedPoint> points;   // in date order
  std::vector<LegendMark> legend;
  std::optional<Box> colour_bar;     // with shaded pairs: the bar, 0 at its bottom
  std::string pair_colour;           // of pairs when not shaded
  double marker_radius = 0.0, ring_radius = 0.0, line_width = 0.0;  // pt; the ring the reference's
};

// The colour of pairs that are not shaded and of the reference's mark.
extern const char* const unshaded_pair_colour;
extern const char* const reference_mark_colour;

// The layout of content on a picture of width x height pt, texts measured
// by measure:
//  - the title "reference NAME, DATE" (the reference's file name without
//    folders, shortened in the middle with an ellipsis to fit) and a line
//    under it with the counts;
//  - the date axis with a tick at each New Year and minor ticks at each
//    month (where they stand at least 1.5 pt apart), its labels the years
//    every 1, 2, 5, 10, ... years, the fewest that stand clear of each other
//    (and, with fewer than two New Years in the range, months labelled
//    YYYY-MM every 1, 2, 3, 4 or 6 months);
//  - the baseline axis in m, its title naming the sign convention, ticks at
//    1, 2 or 5 times a power of ten, as many as stand clear of each other;
//  - each point's date (YYYY-MM-DD) beside it where it overlaps no other
//    text and no point and stays in the plot area: the reference's first
//    (over points if it must), then by date; the others unlabelled;
//  - the colours of the parts, the reference's part first; a legend of what
//    is drawn; the colour bar of the coherence when the pairs are shaded.
// Degenerate content (one point, all on one date or baseline) gets a range
// around it: 15 days either side at least, 20 m at least.
PlotLayout lay_out_plot(const PlotContent& content, double width, double height, const MeasureText& measure);

// The text of a day number as YYYY-MM-DD.
std::string date_label(long day);

// The file name of a path without its folders.
std::string file_name(const std::string& path);

// text shortened in the middle with an ellipsis (U+2026) until fits says it
// fits; text when it does already, "" when not even "X…" fits. Cuts fall
// between UTF-8 characters.
std::string shortened(const std::string& text, const std::function<bool(const std::string&)>& fits);

}  // namespace bperp::stack
