#include "bperp/stack/outputs/baseline_plot.h"

#include <algorithm>
#include <cmath>

#include "bperp/stack/support/iso_date.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/outputs/text_table.h"

namespace bperp::stack {

namespace {

// The data range around the values: dates padded by 4 % of the span (at
// least 15 days), baselines by 10 % (the span at least 20 m), so that no
// point sits on the frame.
constexpr double date_margin = 0.04, min_date_margin_days = 15.0;
constexpr double baseline_margin = 0.10, min_baseline_span_m = 20.0;
constexpr int max_ticks = 12;
constexpr double months_per_day = 12.0 / 365.2425;
constexpr int max_month_tick_span = 72;  // months; beyond, ticks on years
constexpr int baseline_tick_target = 6;

// Marker and label sizes, px.
constexpr double point_radius = 5.0;
constexpr double reference_radius = 7.0;
constexpr double reference_ring = 11.0;
constexpr double label_offset = 8.0;            // from a point to its label
constexpr double label_height = 10.0;           // a label under its point drops this much more
constexpr double reference_label_extra = 4.0;   // the reference's label clears its ring
constexpr double label_flip_margin = 120.0;     // labels this close to the right end go left

// Where the texts and ticks stand, px.
constexpr double title_baseline = 32.0;
constexpr double subtitle_baseline = 54.0;
constexpr double tick_length = 5.0;
constexpr double date_label_drop = 20.0;        // date labels under the plot area
constexpr double baseline_label_gap = 9.0;      // baseline labels left of the plot area
constexpr double baseline_label_drop = 4.0;     // centres the label on its tick
constexpr double axis_title_drop = 46.0;        // the date axis title (and the legend) under the area
constexpr double date_title_position = 0.4;     // along the date axis, clear of the legend
constexpr double baseline_title_x = 24.0;

// The second legend row (the parts of a split network, the shading of the
// pairs), under the first, and the height it adds to the picture, px; the
// parts wrap onto further rows, each adding parts_row_spacing.
constexpr double parts_legend_drop = 72.0;
constexpr double parts_legend_first = 60.0;     // the first part's mark, right of "N parts:"
constexpr double parts_label_digit = 9.0;       // each further digit of N moves it on this much
constexpr double parts_legend_step = 110.0;     // the parts' marks stand on this grid
constexpr double legend_row_height = 30.0;
constexpr double parts_row_spacing = 22.0;
// Estimated widths of the legend's texts, px: a character of the 12 px text
// at most this wide on average (DejaVu Sans: digits 7.6, lower case about
// 6.5), and the shading note (11 px, about 309) with a gap before it.
constexpr double legend_char_width = 7.0;
constexpr double shading_note_width = 320.0;

// The legend's row, px from its left end.
constexpr double legend_width = 330.0;          // the row ends this far left of the area's end
constexpr double legend_mark_rise = 4.0;        // markers sit on the text's middle
constexpr double legend_text_gap = 12.0;
constexpr double legend_secondary_x = 95.0;
constexpr double legend_pair_x = 190.0;
constexpr double legend_pair_length = 25.0;
constexpr double legend_pair_text_gap = 7.0;

const char* const point_colour = "#1f5fa8";
const char* const reference_colour = "#c0392b";
// The first parts of a split network, a colour each (neither a secondary's
// nor the reference's): a point of part k + 1 takes the k-th; the parts
// beyond share other_parts_colour, and one of part 0, a connected
// network's, the point colour.
const std::vector<const char*> part_colours = {"#e67e22", "#27ae60", "#8e44ad", "#d4ac0d",
                                               "#e84393", "#16a085", "#6d4c41", "#2c3e50"};
const char* const other_parts_colour = "#a6acaf";
const char* const coherent_pair_colour = "#1a5276";
constexpr double min_pair_opacity = 0.12;

const char* part_colour(const std::vector<std::size_t>& part, std::size_t point) {
  if (part[point] == 0) return point_colour;
  return part[point] <= part_colours.size() ? part_colours[part[point] - 1] : other_parts_colour;
}
const char* const pair_colour = "#8c8c8c";
const char* const grid_colour = "#e3e3e3";
const char* const axis_colour = "#333333";

std::string px(double v) { return fixed_text_unsigned_zero(v, 1); }

// One element with its attributes, empty or with content.
std::string element(const std::string& name, const std::string& attributes,
                    const std::string& content = {}) {
  if (content.empty()) return "<" + name + " " + attributes + "/>\n";
  return "<" + name + " " + attributes + ">" + content + "</" + name + ">\n";
}

std::string line(double x1, double y1, double x2, double y2, const std::string& style) {
  return element("line", "x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) +
                             "\" y2=\"" + px(y2) + "\" " + style);
}

std::string text(double x, double y, const std::string& words, const std::string& style) {
  return element("text", "x=\"" + px(x) + "\" y=\"" + px(y) + "\" " + style, xml_text(words));
}

std::string circle(double x, double y, double r, const std::string& style,
                   const std::string& content = {}) {
  return element("circle",
                 "cx=\"" + px(x) + "\" cy=\"" + px(y) + "\" r=\"" + px(r) + "\" " + style, content);
}

// A round step near span / target: 1, 2 or 5 times a power of ten.
double round_step(double span, int target) {
  const double raw = span / target;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0})
    if (m * power >= raw) return m * power;
  return 10.0 * power;
}

AxisMap date_axis(const std::vector<NetworkPoint>& points) {
  double lo = 0.0, hi = 0.0;
  bool first = true;
  for (const NetworkPoint& p : points) {
    if (!p.day) continue;
    const double d = static_cast<double>(*p.day);
    lo = first ? d : std::min(lo, d);
    hi = first ? d : std::max(hi, d);
    first = false;
  }
  const double pad = std::max(date_margin * (hi - lo), min_date_margin_days);
  return {lo - pad, hi + pad, plot_layout::left, plot_layout::right};
}

AxisMap baseline_axis(const std::vector<NetworkPoint>& points) {
  double lo = 0.0, hi = 0.0;  // the zero line is always shown
  for (const NetworkPoint& p : points) {
    lo = std::min(lo, p.perpendicular);
    hi = std::max(hi, p.perpendicular);
  }
  if (hi - lo < min_baseline_span_m) {
    const double grow = 0.5 * (min_baseline_span_m - (hi - lo));
    lo -= grow;
    hi += grow;
  }
  const double pad = baseline_margin * (hi - lo);
  // Larger baselines higher up: pixel y grows downwards.
  return {lo - pad, hi + pad, plot_layout::bottom, plot_layout::top};
}

}  // namespace

std::string short_name(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  std::string name = (slash == std::string::npos) ? path : path.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? path : name;
}

std::string xml_text(const std::string& text) {
  std::string s;
  for (const char c : text) {
    switch (c) {
      case '&': s += "&amp;"; break;
      case '<': s += "&lt;"; break;
      case '>': s += "&gt;"; break;
      case '"': s += "&quot;"; break;
      case '\'': s += "&apos;"; break;
      default: s += c;
    }
  }
  return s;
}

std::vector<Tick> date_ticks(double low, double high) {
  std::vector<Tick> ticks;
  if (!(high > low)) return ticks;
  const double span_months = (high - low) * months_per_day;
  const CivilDate start = civil_from_days(static_cast<long>(std::floor(low)));
  if (span_months <= max_month_tick_span) {
    int step = 12;
    for (const int s : {1, 2, 3, 6, 12})
      if (span_months / s <= max_ticks) {
        step = s;
        break;
      }
    // From the first month of the step's grid (January, then every step).
    CivilDate d{start.year, 1, 1};
    while (days_from_civil(d) < low) {
      d.month += step;
      if (d.month > 12) d.month -= 12, ++d.year;
    }
    for (; days_from_civil(d) <= high;) {
      const std::string year = iso_date_text(d).substr(0, 4);
      ticks.push_back({static_cast<double>(days_from_civil(d)),
                       step == 12 ? year : iso_date_text(d).substr(0, 7)});
      d.month += step;
      if (d.month > 12) d.month -= 12, ++d.year;
    }
    return ticks;
  }
  const double span_years = span_months / 12.0;
  int step = 1;
  for (int power = 1; span_years / step > max_ticks; power *= 10) {
    for (const int m : {1, 2, 5, 10}) {
      step = m * power;
      if (span_years / step <= max_ticks) break;
    }
  }
  // The first January 1st in the range, on the step's grid.
  int year = start.year;
  if (days_from_civil(CivilDate{year, 1, 1}) < low) ++year;
  year += (step - year % step) % step;
  for (CivilDate d{year, 1, 1}; days_from_civil(d) <= high; d.year += step)
    ticks.push_back({static_cast<double>(days_from_civil(d)), std::to_string(d.year)});
  return ticks;
}

std::vector<Tick> baseline_ticks(double low, double high) {
  std::vector<Tick> ticks;
  if (!(high > low)) return ticks;
  const double step = round_step(high - low, baseline_tick_target);
  const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
  for (long k = static_cast<long>(std::ceil(low / step)); k * step <= high; ++k)
    ticks.push_back({k * step, fixed_text_unsigned_zero(k * step, decimals)});
  return ticks;
}

namespace {

using namespace plot_layout;

// The opening of the document: the XML declaration, the svg element with
// its size (extra_height px under the usual picture) and fonts, and the
// white background.
std::string document_start(double extra_height) {
  const std::string w = px(width), h = px(height + extra_height);
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
         "\" viewBox=\"0 0 " + w + " " + h +
         "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"12\">\n";
  svg += element("rect", "x=\"0\" y=\"0\" width=\"" + w + "\" height=\"" + h + "\" fill=\"white\"");
  return svg;
}

// The title (the reference's file name and date) and the line under it
// (the size of the network, and the sign convention when it is not this
// tool's own).
std::string title_block(const std::vector<NetworkPoint>& points, std::size_t pair_count, const std::string& sign) {
  std::string reference_title;
  for (const NetworkPoint& p : points)
    if (p.reference) {
      const std::size_t slash = p.name.find_last_of('/');
      reference_title = (slash == std::string::npos ? p.name : p.name.substr(slash + 1)) +
                        (p.day ? " (" + iso_date_text(civil_from_days(*p.day)) + ")" : "");
    }
  std::string svg = text(width / 2, title_baseline, "Baseline-time plot, reference " + reference_title,
                         "class=\"title\" text-anchor=\"middle\" font-size=\"18\" font-weight=\"bold\"");
  svg += text(width / 2, subtitle_baseline,
              count_text(points.size(), "acquisition", "acquisitions") + ", " +
                  count_text(pair_count, "pair", "pairs") + "; perpendicular baselines against the reference geometry" +
                  (sign.empty() ? "" : ", " + sign),
              "text-anchor=\"middle\" font-size=\"12\" fill=\"#555555\"");
  return svg;
}

// The grid, the ticks and their labels on both axes, the zero line, the
// frame and the two axis titles.
std::string axes(const AxisMap& x, const AxisMap& y) {
  std::string svg;
  for (const Tick& t : date_ticks(x.low, x.high)) {
    const double xt = x(t.value);
    svg += line(xt, top, xt, bottom, "stroke=\"" + std::string(grid_colour) + "\"");
    svg += line(xt, bottom, xt, bottom + tick_length, "stroke=\"" + std::string(axis_colour) + "\"");
    svg += text(xt, bottom + date_label_drop, t.label, "class=\"date-tick\" text-anchor=\"middle\"");
  }
  for (const Tick& t : baseline_ticks(y.low, y.high)) {
    const double yt = y(t.value);
    svg += line(left, yt, right, yt, "stroke=\"" + std::string(grid_colour) + "\"");
    svg += line(left - tick_length, yt, left, yt, "stroke=\"" + std::string(axis_colour) + "\"");
    svg += text(left - baseline_label_gap, yt + baseline_label_drop, t.label,
                "class=\"baseline-tick\" text-anchor=\"end\"");
  }
  svg += line(left, y(0.0), right, y(0.0),
              "class=\"zero-line\" stroke=\"" + std::string(axis_colour) + "\" stroke-width=\"1.2\"");
  svg += element("rect", "x=\"" + px(left) + "\" y=\"" + px(top) + "\" width=\"" +
                             px(right - left) + "\" height=\"" + px(bottom - top) +
                             "\" fill=\"none\" stroke=\"" + axis_colour + "\"");
  svg += text(left + date_title_position * (right - left), bottom + axis_title_drop,
              "acquisition date", "text-anchor=\"middle\" font-size=\"13\"");
  svg += text(baseline_title_x, (top + bottom) / 2, "perpendicular baseline (m)",
              "text-anchor=\"middle\" font-size=\"13\" transform=\"rotate(-90 " +
                  fixed_text_unsigned_zero(baseline_title_x, 0) + " " +
                  px((top + bottom) / 2) + ")\"");
  return svg;
}

// One line per pair, drawn under the points, written to out as they come.
void write_pair_lines(std::FILE* out, const std::vector<NetworkPoint>& points,
                      const PairNetwork& network, const AxisMap& x, const AxisMap& y) {
  const std::string style = "class=\"pair\" stroke=\"" + std::string(pair_colour) +
                            "\" stroke-width=\"1.3\" stroke-opacity=\"0.85\"";
  // Shaded by the modelled coherence where the model has it: from faint
  // (0) to the full colour (1).
  const auto shaded = [](double coherence) {
    return "class=\"pair\" stroke=\"" + std::string(coherent_pair_colour) +
           "\" stroke-width=\"1.5\" stroke-opacity=\"" +
           fixed_text(min_pair_opacity + (1.0 - min_pair_opacity) * coherence, 2) + "\"";
  };
  std::string svg;
  network.for_each([&](const Pair& p) {
    const NetworkPoint& a = points[p.first];
    const NetworkPoint& b = points[p.second];
    if (!a.day || !b.day) return;
    svg += line(x(static_cast<double>(*a.day)), y(a.perpendicular), x(static_cast<double>(*b.day)),
                y(b.perpendicular), std::isfinite(p.coherence) ? shaded(p.coherence) : style);
    if (svg.size() > (1u << 16)) {
      std::fputs(svg.c_str(), out);
      svg.clear();
    }
  });
  std::fputs(svg.c_str(), out);
}

// The acquisitions in date order, each a point with a tooltip and its short
// name, labels alternately above and below their points; the reference
// ringed and in its own colour.
std::string acquisition_points(const std::vector<NetworkPoint>& points, const AxisMap& x,
                               const AxisMap& y, const std::vector<std::size_t>& part) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < points.size(); ++i)
    if (points[i].day) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return *points[a].day < *points[b].day; });
  std::string svg;
  for (std::size_t k = 0; k < order.size(); ++k) {
    const NetworkPoint& p = points[order[k]];
    const double xp = x(static_cast<double>(*p.day)), yp = y(p.perpendicular);
    const std::string tip = short_name(p.name) + "  " + iso_date_text(civil_from_days(*p.day)) +
                            "  " + fixed_text_unsigned_zero(p.perpendicular, 3) + " m";
    const std::string title = "<title>" + xml_text(tip) + "</title>";
    if (p.reference) {
      svg += circle(xp, yp, reference_ring,
                    "class=\"reference-mark\" fill=\"none\" stroke=\"" +
                        std::string(reference_colour) + "\" stroke-width=\"2\"");
      svg += circle(xp, yp, reference_radius,
                    "class=\"acquisition reference\" fill=\"" + std::string(reference_colour) +
                        "\" stroke=\"white\" stroke-width=\"1.5\"",
                    title);
    } else {
      svg += circle(xp, yp, point_radius,
                    "class=\"acquisition\" fill=\"" + std::string(part_colour(part, order[k])) +
                        "\" stroke=\"white\" stroke-width=\"1.5\"",
                    title);
    }
    const bool near_right = xp > right - label_flip_margin;
    const double lx = near_right ? xp - label_offset : xp + label_offset;
    const double reference_extra = p.reference ? reference_label_extra : 0.0;
    const double ly = (k % 2 == 0) ? yp - label_offset - reference_extra
                                   : yp + label_offset + label_height + reference_extra;
    svg += text(lx, ly, short_name(p.name),
                std::string("class=\"label\" font-size=\"11\"") +
                    (near_right ? " text-anchor=\"end\"" : "") +
                    (p.reference ? " font-weight=\"bold\" fill=\"" + std::string(reference_colour) + "\""
                                 : " fill=\"#222222\""));
  }
  return svg;
}

// The legend in one row under the plot, at its right end, clear of every
// point: the reference, a secondary and a selected pair.
std::string legend() {
  const double ly = bottom + axis_title_drop, lx = right - legend_width;
  std::string svg;
  svg += circle(lx, ly - legend_mark_rise, reference_radius - 1,
                "class=\"legend\" fill=\"" + std::string(reference_colour) + "\"");
  svg += text(lx + legend_text_gap, ly, "reference", "");
  svg += circle(lx + legend_secondary_x, ly - legend_mark_rise, point_radius,
                "class=\"legend\" fill=\"" + std::string(point_colour) + "\"");
  svg += text(lx + legend_secondary_x + legend_text_gap, ly, "secondary", "");
  svg += line(lx + legend_pair_x, ly - legend_mark_rise, lx + legend_pair_x + legend_pair_length,
              ly - legend_mark_rise,
              "class=\"legend\" stroke=\"" + std::string(pair_colour) + "\" stroke-width=\"1.3\"");
  svg += text(lx + legend_pair_x + legend_pair_length + legend_pair_text_gap, ly, "selected pair", "");
  return svg;
}

// One entry of the parts' legend: its mark's colour, its text, and where
// the mark stands, px.
struct PartEntry {
  const char* colour;
  std::string text;
  double x, y;
};

// The entries of a split network's parts (none for a connected network or
// without parts): "part k (members)" for each part with a colour of its
// own, then "... and N more parts" for those that share one; on a grid
// from the right of "N parts:", wrapping onto further rows where the next
// would reach past the picture's right end (on the first row, the shading
// note's left end when shaded).
std::vector<PartEntry> part_entries(const Connectivity* parts, bool shaded) {
  std::vector<PartEntry> entries;
  if (parts == nullptr || parts->connected()) return entries;
  const std::size_t count = parts->components.size();
  std::vector<std::pair<const char*, std::string>> items;
  for (std::size_t k = 0; k < count && k < part_colours.size(); ++k)
    items.emplace_back(part_colours[k], "part " + std::to_string(k + 1) + " (" +
                                            std::to_string(parts->components[k].size()) + ")");
  if (count > part_colours.size())
    items.emplace_back(other_parts_colour,
                       "... and " + count_text(count - part_colours.size(), "more part", "more parts"));
  const double first = left + parts_legend_first +
                       parts_label_digit * static_cast<double>(std::to_string(count).size() - 1);
  double x = first, y = bottom + parts_legend_drop;
  bool first_row = true;
  for (const auto& [colour, words] : items) {
    const double end = first_row && shaded ? right - shading_note_width : right;
    const double needs = legend_text_gap + legend_char_width * static_cast<double>(words.size());
    if (x > first && x + needs > end) {
      x = first;
      y += parts_row_spacing;
      first_row = false;
    }
    entries.push_back({colour, words, x, y});
    x += parts_legend_step;
  }
  return entries;
}

// The height the legend rows under the first add to the picture, px: none
// for a connected network without shading.
double parts_legend_height(const std::vector<PartEntry>& entries, bool shaded) {
  if (entries.empty()) return shaded ? legend_row_height : 0.0;
  return legend_row_height + (entries.back().y - (bottom + parts_legend_drop));
}

// The legend of a split network's parts under the date axis ("N parts:"
// and the entries), and the note on the shading of the pairs at the first
// row's right end.
std::string parts_legend(const Connectivity* parts, const std::vector<PartEntry>& entries, bool shaded) {
  std::string svg;
  const double ly = bottom + parts_legend_drop;
  if (!entries.empty()) {
    svg += text(left, ly, std::to_string(parts->components.size()) + " parts:",
                "class=\"legend\" font-weight=\"bold\"");
    for (const PartEntry& e : entries) {
      svg += circle(e.x, e.y - legend_mark_rise, point_radius,
                    "class=\"legend part\" fill=\"" + std::string(e.colour) + "\"");
      svg += text(e.x + legend_text_gap, e.y, e.text, "");
    }
  }
  if (shaded)
    svg += text(right, ly, "pair lines shaded by modelled coherence (faint 0, full 1)",
                "class=\"legend\" text-anchor=\"end\" font-size=\"11\" fill=\"#555555\"");
  return svg;
}

}  // namespace

void write_baseline_time_svg(std::FILE* out, const std::vector<NetworkPoint>& points,
                             const PairNetwork& network, const Connectivity* parts, const std::string& sign) {
  const AxisMap x = date_axis(points);
  const AxisMap y = baseline_axis(points);
  // Each point's part: all in the first unless the network is split.
  std::vector<std::size_t> part(points.size(), 0);
  const bool split = parts != nullptr && !parts->connected();
  if (split)
    for (std::size_t k = 0; k < parts->components.size(); ++k)
      for (const std::size_t i : parts->components[k]) part[i] = k + 1;
  const bool shaded = std::isfinite(network.model().critical_baseline());
  const std::vector<PartEntry> entries = part_entries(parts, shaded);
  std::fputs((document_start(parts_legend_height(entries, shaded)) + title_block(points, network.count(), sign) +
              axes(x, y)).c_str(),
             out);
  write_pair_lines(out, points, network, x, y);
  std::fputs((acquisition_points(points, x, y, part) + legend() + parts_legend(parts, entries, shaded) +
              "</svg>\n").c_str(),
             out);
}

}  // namespace bperp::stack
