#include "bperp/stack/outputs/plot_layout.h"

#include <algorithm>
#include <cmath>

#include "bperp/io/decimal_number.h"
#include "bperp/stack/support/iso_date.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

const char* const unshaded_pair_colour = "#8c8c8c";
const char* const reference_mark_colour = "#c0392b";

namespace {

constexpr double points_per_inch = 72.0;
constexpr double mm_per_inch = 25.4;
constexpr double px_per_inch = 96.0;
constexpr double raster_dpi = 300.0;
constexpr double smallest_mm = 20.0, largest_mm = 1000.0;
constexpr double smallest_px = 100.0, largest_px = 10000.0;

// The text size: 7 pt on a journal column (88 mm, 249.4 pt), growing with
// the square root of the width up to 12 pt.
constexpr double column_width_pt = 88.0 / mm_per_inch * points_per_inch;
constexpr double smallest_font = 7.0, largest_font = 12.0;

// Sizes relative to the text size s.
constexpr double title_scale = 1.15, subtitle_scale = 0.9, point_label_scale = 0.85;
constexpr double pad_s = 0.6;           // around the picture's edge
constexpr double tick_length_s = 0.35;
constexpr double marker_radius_s = 0.3;
constexpr double ring_scale = 1.8;      // the reference's ring, in marker radii
constexpr double line_width_s = 0.09;
constexpr double label_gap_s = 0.5;     // between two labels of an axis
constexpr double legend_row_s = 1.45;
constexpr double colour_bar_width_s = 0.7;

// The data ranges around the values: dates padded by 4 % of the span (at
// least 15 days), baselines by 8 % (the span at least 20 m).
constexpr double date_margin = 0.04, min_date_margin_days = 15.0;
constexpr double baseline_margin = 0.08, min_baseline_span_m = 20.0;
constexpr double days_per_year = 365.2425;
constexpr double shortest_month_days = 28.0;
constexpr double least_minor_tick_spacing = 1.5;  // pt

// The colours of the parts, the reference's first; parts beyond share the
// last.
const char* const part_palette[] = {"#1f5fa8", "#e67e22", "#27ae60", "#8e44ad",
                                    "#d4ac0d", "#e84393", "#16a085", "#6d4c41"};
constexpr std::size_t palette_size = coloured_parts;
static_assert(sizeof part_palette / sizeof part_palette[0] == palette_size);
const char* const other_parts_colour = "#a6acaf";

double clamp(double v, double lo, double hi) { return std::max(lo, std::min(hi, v)); }

// The text set at (x, y) of role, measured.
PlacedText text_at(const MeasureText& measure, std::string text, TextRole role, double x, double y, double size,
                   bool bold = false, bool vertical = false) {
  PlacedText t{std::move(text), role, x, y, size, bold, vertical, {}};
  t.metrics = measure(t.text, size, bold);
  return t;
}

// 1, 2 or 5 times a power of ten, the first at least step.
double round_step_at_least(double step) {
  const double power = std::pow(10.0, std::floor(std::log10(step)));
  for (const double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= step * (1.0 - 1e-12)) return m * power;
  return 10.0 * power;
}

// The next step of the 1-2-5 series after step.
double next_round_step(double step) { return round_step_at_least(step * 1.5); }

struct Legend {
  std::vector<LegendMark> marks;
  std::vector<PlacedText> texts;
  double height = 0.0;
};

// One legend entry before it is placed.
struct LegendEntry {
  LegendMark::Kind kind;
  std::string colour;
  std::string text;
};

// The width a legend mark takes: a line, the reference's ring, a dot.
double mark_width(LegendMark::Kind kind, double s) {
  return (kind == LegendMark::Kind::line ? 1.8 : kind == LegendMark::Kind::ring ? 2.2 * ring_scale * marker_radius_s : 1.0) * s;
}

// The legend's entries in rows from the left edge, wrapping at the right,
// the last row's bottom at bottom.
Legend lay_out_legend(const std::vector<LegendEntry>& entries, double width, double bottom, double s,
                      const MeasureText& measure) {
  Legend legend;
  if (entries.empty()) return legend;
  const double pad = pad_s * s, row = legend_row_s * s;
  const TextMetrics m = measure("0", s, false);
  // Rows first, then placed from the bottom up.
  std::vector<std::vector<std::pair<LegendEntry, double>>> rows(1);  // entry, its x
  double x = pad;
  for (const LegendEntry& e : entries) {
    const double mark = mark_width(e.kind, s);
    const double room = width - 2 * pad - mark - 0.3 * s;
    const std::string text =
        shortened(e.text, [&](const std::string& t) { return measure(t, s, false).width <= room; });
    const double needs = mark + 0.3 * s + measure(text, s, false).width;
    if (x > pad && x + needs > width - pad) {
      rows.emplace_back();
      x = pad;
    }
    rows.back().push_back({LegendEntry{e.kind, e.colour, text}, x});
    x += needs + s;
  }
  legend.height = static_cast<double>(rows.size()) * row;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const double baseline = bottom - legend.height + static_cast<double>(r) * row + 0.2 * s + m.ascent;
    const double middle = baseline - 0.5 * (m.ascent - m.descent);
    for (const auto& [e, at] : rows[r]) {
      const double mark = mark_width(e.kind, s);
      legend.marks.push_back({e.kind, e.colour, at + 0.5 * mark, middle});
      legend.texts.push_back(text_at(measure, e.text, TextRole::legend, at + mark + 0.3 * s, baseline, s));
    }
  }
  return legend;
}

// The parts in colour order: the reference's part first, then the others
// in their order; each a list of point indices.
std::vector<std::vector<std::size_t>> parts_in_colour_order(const PlotContent& c) {
  const std::vector<NetworkPoint>& points = *c.points;
  std::vector<std::vector<std::size_t>> parts;
  if (c.parts == nullptr || c.parts->connected()) {
    parts.emplace_back();
    for (std::size_t i = 0; i < points.size(); ++i) parts.back().push_back(i);
    return parts;
  }
  for (const std::vector<std::size_t>& part : c.parts->components) {
    const bool has_reference =
        std::any_of(part.begin(), part.end(), [&](std::size_t i) { return points[i].reference; });
    if (has_reference) parts.insert(parts.begin(), part);
    else parts.push_back(part);
  }
  return parts;
}


// The legend's entries: the reference, the acquisitions or each part with a
// colour of its own (and the rest together), and unshaded pairs.
std::vector<LegendEntry> legend_entries(const PlotContent& c, const std::vector<std::vector<std::size_t>>& parts) {
  using enum LegendMark::Kind;
  std::vector<LegendEntry> entries = {{ring, reference_mark_colour, "reference"}};
  if (parts.size() == 1) {
    if (c.points->size() > 1) entries.push_back({dot, part_palette[0], "acquisition"});
  } else {
    for (std::size_t k = 0; k < parts.size() && k < palette_size; ++k)
      entries.push_back({dot, part_palette[k],
                         (k == 0 ? std::string("reference's part (") : "part " + std::to_string(k + 1) + " (") +
                             std::to_string(parts[k].size()) + ")"});
    if (parts.size() > palette_size)
      entries.push_back({dot, other_parts_colour, count_text(parts.size() - palette_size, "more part", "more parts")});
  }
  if (c.pair_count > 0 && !c.shaded) entries.push_back({line, unshaded_pair_colour, "pair"});
  return entries;
}

// The baseline axis's step: 1, 2 or 5 times a power of ten, the smallest
// whose labels stand clear of each other (about eight ticks at most).
double baseline_step(const AxisMap& y, double label_height, double s) {
  const double span = y.high - y.low;
  const double pixels = std::fabs(y.pixel_high - y.pixel_low);
  double step = round_step_at_least(span / 8.0);
  while (step / span * pixels < label_height + 0.4 * s) step = next_round_step(step);
  return step;
}

std::string baseline_label(double value, double step) {
  const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  return fixed_text_unsigned_zero(value, decimals);
}

// Each first day of a month (step 1) or year (step 12) from low to high,
// as day numbers.
std::vector<long> month_starts(double low, double high, int step_months) {
  std::vector<long> days;
  const CivilDate first = civil_from_days(static_cast<long>(std::floor(low)));
  CivilDate d{first.year, step_months == 12 ? 1 : first.month, 1};
  for (;; d.month += step_months) {
    if (d.month > 12) {
      d.year += (d.month - 1) / 12;
      d.month = (d.month - 1) % 12 + 1;
    }
    const long day = days_from_civil(d);
    if (static_cast<double>(day) > high) break;
    if (static_cast<double>(day) >= low) days.push_back(day);
  }
  return days;
}

// The date axis's ticks and labels into layout.
void lay_out_date_axis(PlotLayout& layout, double s, const MeasureText& measure) {
  const AxisMap& x = layout.x;
  const double pixels_per_day = (x.pixel_high - x.pixel_low) / (x.high - x.low);
  for (const long day : month_starts(x.low, x.high, 12))
    layout.year_ticks.push_back({x(static_cast<double>(day)), static_cast<double>(day)});
  if (shortest_month_days * pixels_per_day >= least_minor_tick_spacing)
    for (const long day : month_starts(x.low, x.high, 1))
      if (civil_from_days(day).month != 1)
        layout.month_ticks.push_back({x(static_cast<double>(day)), static_cast<double>(day)});

  // Years when two or more New Years show, else months; every step-th,
  // the smallest step at which the labels stand clear.
  const bool by_year = layout.year_ticks.size() >= 2;
  const double widest = measure(by_year ? "0000" : "0000-00", s, false).width;
  const double needs = widest + label_gap_s * s;
  std::vector<long> labelled;
  if (by_year) {
    long step = 1;
    for (long power = 1;; power *= 10) {
      for (const long m : {1L, 2L, 5L}) {
        step = m * power;
        if (static_cast<double>(step) * days_per_year * pixels_per_day >= needs) break;
      }
      if (static_cast<double>(step) * days_per_year * pixels_per_day >= needs) break;
    }
    for (const Tick& t : layout.year_ticks) {
      const int year = civil_from_days(static_cast<long>(t.value)).year;
      if (year % step == 0) labelled.push_back(static_cast<long>(t.value));
    }
  } else {
    int step = 12;
    for (const int m : {1, 2, 3, 4, 6, 12})
      if (static_cast<double>(m) * shortest_month_days * pixels_per_day >= needs) {
        step = m;
        break;
      }
    for (const long day : month_starts(x.low, x.high, 1))
      if ((civil_from_days(day).month - 1) % step == 0) labelled.push_back(day);
  }
  const TextMetrics m = measure("0", s, false);
  const double baseline = layout.area.bottom + tick_length_s * s + 0.2 * s + m.ascent;
  for (const long day : labelled) {
    const std::string text = by_year ? date_label(day).substr(0, 4) : date_label(day).substr(0, 7);
    PlacedText t = text_at(measure, text, TextRole::tick_label, 0.0, baseline, s);
    t.x = x(static_cast<double>(day)) - 0.5 * t.metrics.width;
    if (t.box().left >= 0.0 && t.box().right <= layout.width) layout.texts.push_back(std::move(t));
  }
}

// The dates beside the points, each where it overlaps no text placed so far
// nor any point and stays in the plot area; the reference's, first, over
// points where it must.
void label_points(PlotLayout& layout, const std::vector<NetworkPoint>& points, double s,
                  const MeasureText& measure) {
  const double size = point_label_scale * s;
  std::vector<Box> marks;
  for (const PlacedPoint& p : layout.points) {
    const double r = p.reference ? layout.ring_radius : layout.marker_radius;
    marks.push_back({p.x - r, p.y - r, p.x + r, p.y + r});
  }
  std::vector<Box> taken;
  for (const PlacedText& t : layout.texts) taken.push_back(t.box());
  // The reference first, then by date.
  std::vector<std::size_t> order(layout.points.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_partition(order.begin(), order.end(), [&](std::size_t k) { return layout.points[k].reference; });
  for (const std::size_t k : order) {
    const PlacedPoint& p = layout.points[k];
    const bool bold = p.reference;
    const std::string text = date_label(*points[p.index].day);
    const TextMetrics m = measure(text, size, bold);
    const double d = (p.reference ? layout.ring_radius : layout.marker_radius) + 0.15 * s;
    const double xs[] = {p.x + d, p.x + d, p.x - d - m.width, p.x - d - m.width};
    const double ys[] = {p.y - d - m.descent, p.y + d + m.ascent, p.y - d - m.descent, p.y + d + m.ascent};
    bool placed = false;
    for (int pass = 0; pass < (p.reference ? 2 : 1) && !placed; ++pass)
      for (int c = 0; c < 4 && !placed; ++c) {
        PlacedText t{text, TextRole::point_label, xs[c], ys[c], size, bold, false, m};
        const Box b = t.box();
        if (!b.inside(layout.area)) continue;
        const auto hits = [&](const Box& o) { return o.overlaps(b); };
        if (std::any_of(taken.begin(), taken.end(), hits)) continue;
        if (pass == 0 && std::any_of(marks.begin(), marks.end(), hits)) continue;
        taken.push_back(b);
        layout.texts.push_back(std::move(t));
        placed = true;
      }
  }
}

// The title ("reference NAME, DATE", the name shortened to fit) and the
// line of counts under it, centred at the top; the plot area's top under
// them.
void lay_out_title(PlotLayout& layout, const PlotContent& c, const MeasureText& measure) {
  const double s = layout.font_size, room = layout.width - 2 * pad_s * s;
  const double title_size = title_scale * s, subtitle_size = subtitle_scale * s;
  const NetworkPoint* reference = nullptr;
  for (const NetworkPoint& p : *c.points)
    if (p.reference) reference = &p;
  const std::string date = reference && reference->day ? ", " + date_label(*reference->day) : "";
  const std::string name = shortened(reference ? file_name(reference->name) : std::string(), [&](const std::string& n) {
    return measure("reference " + n + date, title_size, true).width <= room;
  });
  PlacedText title = text_at(measure, "reference " + name + date, TextRole::title, 0.0, 0.0, title_size, true);
  title.y = pad_s * s + title.metrics.ascent;
  title.x = 0.5 * (layout.width - title.metrics.width);
  const std::string counts =
      count_text(c.points->size(), "acquisition", "acquisitions") + ", " + count_text(c.pair_count, "pair", "pairs");
  const std::string said =
      shortened(counts, [&](const std::string& t) { return measure(t, subtitle_size, false).width <= room; });
  PlacedText subtitle = text_at(measure, said, TextRole::subtitle, 0.0, 0.0, subtitle_size);
  subtitle.y = title.box().bottom + 0.3 * s + subtitle.metrics.ascent;
  subtitle.x = 0.5 * (layout.width - subtitle.metrics.width);
  layout.area.top = subtitle.box().bottom + 0.6 * s;
  layout.texts.push_back(std::move(title));
  layout.texts.push_back(std::move(subtitle));
}

// The baselines shown, m: the points' and zero, at least 20 m, with a
// margin of 8 % either side.
AxisMap baseline_range(const std::vector<NetworkPoint>& points) {
  double lo = 0.0, hi = 0.0;  // the zero line always shows
  for (const NetworkPoint& p : points) {
    lo = std::min(lo, p.perpendicular);
    hi = std::max(hi, p.perpendicular);
  }
  if (hi - lo < min_baseline_span_m) {
    const double grow = 0.5 * (min_baseline_span_m - (hi - lo));
    lo -= grow;
    hi += grow;
  }
  const double margin = baseline_margin * (hi - lo);
  return {lo - margin, hi + margin, 0.0, 1.0};
}

// The days shown: the points' dates with a margin of 4 % either side, 15
// days at least.
AxisMap date_range(const std::vector<NetworkPoint>& points) {
  double first = 0.0, last = 0.0;
  bool any = false;
  for (const NetworkPoint& p : points) {
    if (!p.day) continue;
    const double d = static_cast<double>(*p.day);
    first = any ? std::min(first, d) : d;
    last = any ? std::max(last, d) : d;
    any = true;
  }
  const double pad = std::max(date_margin * (last - first), min_date_margin_days);
  return {first - pad, last + pad, 0.0, 1.0};
}

// The baseline axis between the area's top and bottom: its ticks, their
// labels and its title (naming the convention: in words where they fit,
// else with the symbol), which fix the area's left.
void lay_out_baseline_axis(PlotLayout& layout, const std::vector<NetworkPoint>& points, const std::string& convention,
                           const MeasureText& measure) {
  const double s = layout.font_size;
  const TextMetrics m = measure("0", s, false);
  layout.y = baseline_range(points);
  layout.y.pixel_low = layout.area.bottom;
  layout.y.pixel_high = layout.area.top;
  const double step = baseline_step(layout.y, m.ascent + m.descent, s);
  std::vector<PlacedText> labels;
  double widest = 0.0;
  for (long k = static_cast<long>(std::ceil(layout.y.low / step)); static_cast<double>(k) * step <= layout.y.high;
       ++k) {
    const double v = static_cast<double>(k) * step;
    layout.baseline_ticks.push_back({layout.y(v), v});
    labels.push_back(text_at(measure, baseline_label(v, step), TextRole::tick_label, 0.0,
                             layout.y(v) + 0.5 * (m.ascent - m.descent), s));
    widest = std::max(widest, labels.back().metrics.width);
  }
  const double area_height = layout.area.bottom - layout.area.top;
  const auto fits_axis = [&](const std::string& t) { return measure(t, s, false).width <= area_height; };
  std::string words = "perpendicular baseline (m), " + convention + " sign";
  if (!fits_axis(words)) words = shortened("B\u22a5 (m), " + convention + " sign", fits_axis);
  PlacedText title = text_at(measure, words, TextRole::axis_title, pad_s * s + m.ascent, 0.0, s, false, true);
  title.y = 0.5 * (layout.area.top + layout.area.bottom) + 0.5 * title.metrics.width;
  layout.area.left = title.box().right + 0.4 * s + widest + 0.25 * s + tick_length_s * s;
  for (PlacedText& t : labels) {
    t.x = layout.area.left - tick_length_s * s - 0.25 * s - t.metrics.width;
    layout.texts.push_back(std::move(t));
  }
  layout.texts.push_back(std::move(title));
}

// The colour bar of the coherence at the right edge, from the area's top
// to its bottom, with its labels (0, 0.5, 1) and its title; the area ends
// before it.
void lay_out_colour_bar(PlotLayout& layout, const MeasureText& measure) {
  const double s = layout.font_size, area_height = layout.area.bottom - layout.area.top;
  const TextMetrics m = measure("0", s, false);
  PlacedText title = text_at(measure, "modelled coherence", TextRole::legend, 0.0, 0.0, s, false, true);
  if (title.metrics.width > area_height) title = text_at(measure, "coherence", TextRole::legend, 0.0, 0.0, s, false, true);
  title.x = layout.width - pad_s * s - title.metrics.descent;
  const double bar_right = title.box().left - 0.4 * s - measure("0.5", s, false).width - 0.25 * s;
  layout.area.right = bar_right - colour_bar_width_s * s - 0.8 * s;
  const Box bar{bar_right - colour_bar_width_s * s, layout.area.top, bar_right, layout.area.bottom};
  layout.colour_bar = bar;
  title.y = 0.5 * (bar.top + bar.bottom) + 0.5 * title.metrics.width;
  for (const auto& [g, text] : {std::pair{0.0, "0"}, std::pair{0.5, "0.5"}, std::pair{1.0, "1"}}) {
    const double y = bar.bottom - g * (bar.bottom - bar.top) + 0.5 * (m.ascent - m.descent);
    layout.texts.push_back(text_at(measure, text, TextRole::tick_label, bar.right + 0.25 * s, y, s));
  }
  layout.texts.push_back(std::move(title));
}

}  // namespace

std::optional<PlotSize> plot_size_of(const std::string& text) {
  PlotSize size;
  std::string numbers;
  if (text.size() > 2 && text.compare(text.size() - 2, 2, "mm") == 0) size.unit = PlotSize::Unit::mm;
  else if (text.size() > 2 && text.compare(text.size() - 2, 2, "px") == 0) size.unit = PlotSize::Unit::px;
  else return std::nullopt;
  numbers = text.substr(0, text.size() - 2);
  const std::size_t x = numbers.find('x');
  if (x == std::string::npos) return std::nullopt;
  const std::optional<double> w = decimal_number(numbers.substr(0, x));
  const std::optional<double> h = decimal_number(numbers.substr(x + 1));
  const bool mm = size.unit == PlotSize::Unit::mm;
  const double lo = mm ? smallest_mm : smallest_px, hi = mm ? largest_mm : largest_px;
  if (!w || !h || *w < lo || *w > hi || *h < lo || *h > hi) return std::nullopt;
  size.width = *w;
  size.height = *h;
  return size;
}

double width_points(const PlotSize& size) {
  return size.width / (size.unit == PlotSize::Unit::mm ? mm_per_inch : px_per_inch) * points_per_inch;
}
double height_points(const PlotSize& size) {
  return size.height / (size.unit == PlotSize::Unit::mm ? mm_per_inch : px_per_inch) * points_per_inch;
}
int raster_width(const PlotSize& size) {
  const double px = size.unit == PlotSize::Unit::mm ? size.width / mm_per_inch * raster_dpi : size.width;
  return std::max(1, static_cast<int>(std::lround(px)));
}
int raster_height(const PlotSize& size) {
  const double px = size.unit == PlotSize::Unit::mm ? size.height / mm_per_inch * raster_dpi : size.height;
  return std::max(1, static_cast<int>(std::lround(px)));
}

Box PlacedText::box() const {
  if (vertical) return {x - metrics.ascent, y - metrics.width, x + metrics.descent, y};
  return {x, y - metrics.ascent, x + metrics.width, y + metrics.descent};
}

TextMetrics estimated_text_metrics(const std::string& text, double size, bool bold) {
  // Characters, not bytes: UTF-8 continuation bytes do not count.
  const auto characters = std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; });
  return {static_cast<double>(characters) * size * (bold ? 0.68 : 0.62), 0.93 * size, 0.24 * size};
}

const std::vector<ColourStop>& coherence_scale() {
  static const std::vector<ColourStop> scale = {
      {0.0, "#f3e79b"}, {1.0 / 3.0, "#f8a07e"}, {2.0 / 3.0, "#ce6693"}, {1.0, "#5c53a5"}};
  return scale;
}

std::string coherence_colour(double coherence) {
  const std::vector<ColourStop>& scale = coherence_scale();
  const double g = clamp(std::isfinite(coherence) ? coherence : 0.0, 0.0, 1.0);
  std::size_t k = 1;
  while (k + 1 < scale.size() && scale[k].at < g) ++k;
  const double f = (g - scale[k - 1].at) / (scale[k].at - scale[k - 1].at);
  const auto channel = [&](int c) {
    const auto hex = [](const char* colour, int at) { return std::stoi(std::string(colour + 1 + 2 * at, 2), nullptr, 16); };
    const double v = hex(scale[k - 1].colour, c) + f * (hex(scale[k].colour, c) - hex(scale[k - 1].colour, c));
    return static_cast<int>(std::lround(v));
  };
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", channel(0), channel(1), channel(2));
  return text;
}

std::string part_colour(std::size_t rank) { return rank < palette_size ? part_palette[rank] : other_parts_colour; }

std::string date_label(long day) { return iso_date_text(civil_from_days(day)); }

std::string file_name(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return path;
  return path.substr(slash + 1);
}

std::string shortened(const std::string& text, const std::function<bool(const std::string&)>& fits) {
  if (text.empty() || fits(text)) return text;
  // Character starts, so that no cut splits a UTF-8 sequence.
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  const std::string ellipsis = "\xE2\x80\xA6";
  for (std::size_t keep = starts.size() - 1; keep >= 1; --keep) {
    const std::size_t head = (keep + 1) / 2, tail = keep - head;
    const std::string t = text.substr(0, starts[head]) + ellipsis +
                          (tail == 0 ? std::string() : text.substr(starts[starts.size() - tail]));
    if (fits(t)) return t;
  }
  return {};
}

PlotLayout lay_out_plot(const PlotContent& c, double width, double height, const MeasureText& measure) {
  const std::vector<NetworkPoint>& points = *c.points;
  PlotLayout layout;
  layout.width = width;
  layout.height = height;
  const double s = clamp(smallest_font * std::sqrt(width / column_width_pt), smallest_font, largest_font);
  layout.font_size = s;
  layout.marker_radius = marker_radius_s * s;
  layout.ring_radius = ring_scale * layout.marker_radius;
  layout.line_width = line_width_s * s;
  layout.pair_colour = unshaded_pair_colour;
  const double pad = pad_s * s;
  const TextMetrics m = measure("0", s, false);

  lay_out_title(layout, c, measure);
  // From the bottom up: the legend, the date axis's title, its labels.
  const std::vector<std::vector<std::size_t>> parts = parts_in_colour_order(c);
  Legend legend = lay_out_legend(legend_entries(c, parts), width, height - pad, s, measure);
  PlacedText x_title = text_at(measure, "acquisition date", TextRole::axis_title, 0.0, 0.0, s);
  x_title.y = height - pad - legend.height - 0.2 * s - x_title.metrics.descent;
  const double labels_top = x_title.box().top - 0.2 * s - m.ascent - m.descent;
  layout.area.bottom = labels_top - 0.2 * s - tick_length_s * s;

  lay_out_baseline_axis(layout, points, c.convention, measure);
  layout.area.right = width - pad;
  if (c.shaded && c.pair_count > 0) lay_out_colour_bar(layout, measure);
  x_title.x = 0.5 * (layout.area.left + layout.area.right - x_title.metrics.width);
  layout.texts.push_back(std::move(x_title));
  for (PlacedText& t : legend.texts) layout.texts.push_back(std::move(t));
  layout.legend = std::move(legend.marks);

  layout.x = date_range(points);
  layout.x.pixel_low = layout.area.left;
  layout.x.pixel_high = layout.area.right;
  lay_out_date_axis(layout, s, measure);

  // The points in date order, coloured by part, and their dates.
  std::vector<std::string> colour(points.size(), other_parts_colour);
  for (std::size_t k = 0; k < parts.size(); ++k)
    for (const std::size_t i : parts[k]) colour[i] = part_colour(k);
  for (std::size_t i = 0; i < points.size(); ++i)
    if (points[i].day)
      layout.points.push_back({i, layout.x(static_cast<double>(*points[i].day)), layout.y(points[i].perpendicular),
                               colour[i], points[i].reference});
  std::stable_sort(layout.points.begin(), layout.points.end(), [&](const PlacedPoint& a, const PlacedPoint& b) {
    return *points[a.index].day < *points[b.index].day;
  });
  label_points(layout, points, s, measure);
  return layout;
}

}  // namespace bperp::stack
