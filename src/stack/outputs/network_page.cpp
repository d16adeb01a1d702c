#include "bperp/stack/outputs/network_page.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include "bperp/stack/outputs/baseline_plot.h"
#include "bperp/stack/outputs/json_writer.h"
#include "bperp/stack/outputs/plot_layout.h"
#include "bperp/stack/outputs/record_columns.h"
#include "network_page_template.h"

namespace bperp::stack {

namespace {

// The page's plot, pt: 960 x 600 px.
const PlotSize page_plot_size{960.0, 600.0, PlotSize::Unit::px};

// Where the data goes in the page's template.
constexpr std::string_view data_marker = "@PAGE_DATA@";

// The pair columns whose values follow the perpendicular baseline's sign.
constexpr std::string_view signed_keys[] = {"perpendicular_m", "height_of_ambiguity_m"};

// A value as compact JSON.
std::string json_of(const Value& value) {
  std::string text;
  if (const auto* t = std::get_if<std::string>(&value)) append_json_string(text, *t);
  else if (const auto* n = std::get_if<long>(&value)) text = std::to_string(*n);
  else if (const auto* x = std::get_if<double>(&value)) append_json_number(text, *x, Digits::shortest);
  else if (const auto* b = std::get_if<bool>(&value)) text = *b ? "true" : "false";
  else text = "null";
  return text;
}

std::string csv_of(const Value& value) {
  std::string text;
  append_csv_field(text, value);
  return text;
}

// A compact JSON array or object, its items appended.
class Compact {
 public:
  explicit Compact(char open) : text_(1, open), close_(open == '[' ? ']' : '}') {}
  Compact& item(const std::string& json) {
    comma();
    text_ += json;
    return *this;
  }
  Compact& member(std::string_view key, const std::string& json) {
    comma();
    append_json_string(text_, key);
    text_ += ':';
    text_ += json;
    return *this;
  }
  std::string done() {
    text_ += close_;
    return std::move(text_);
  }

 private:
  void comma() {
    if (text_.size() > 1) text_ += ',';
  }
  std::string text_;
  char close_;
};

void optional_number(JsonWriter& json, const char* key, const std::optional<double>& v) {
  json.key(key);
  if (v) json.number(*v, Digits::shortest);
  else json.null();
}

void box_json(JsonWriter& json, const char* key, const Box& b) {
  json.key(key);
  json.raw(Compact('[').item(json_of(b.left)).item(json_of(b.top)).item(json_of(b.right)).item(json_of(b.bottom)).done());
}

void axis_json(JsonWriter& json, const char* key, const AxisMap& a) {
  json.key(key);
  json.raw(Compact('[').item(json_of(a.low)).item(json_of(a.high)).item(json_of(a.pixel_low)).item(json_of(a.pixel_high)).done());
}

void ticks_json(JsonWriter& json, const char* key, const std::vector<Tick>& ticks) {
  Compact list('[');
  for (const Tick& t : ticks) list.item(json_of(t.at));
  json.key(key);
  json.raw(list.done());
}

const char* role_name(TextRole role) {
  switch (role) {
    case TextRole::title: return "title";
    case TextRole::subtitle: return "subtitle";
    case TextRole::axis_title: return "axis_title";
    case TextRole::tick_label: return "tick_label";
    case TextRole::point_label: return "point_label";
    case TextRole::legend: return "legend";
  }
  return "legend";
}

// The layout as the page draws it: the picture, the area, the axes, the
// ticks, the texts, the legend, the colour bar and the colours.
void layout_json(JsonWriter& json, const PlotLayout& l) {
  json.key("layout");
  json.begin_object();
  for (const auto& [key, value] : {std::pair{"width", l.width}, std::pair{"height", l.height},
                                   std::pair{"font_size", l.font_size}, std::pair{"marker_radius", l.marker_radius},
                                   std::pair{"ring_radius", l.ring_radius}, std::pair{"line_width", l.line_width}}) {
    json.key(key);
    json.number(value, Digits::shortest);
  }
  box_json(json, "area", l.area);
  axis_json(json, "x", l.x);
  axis_json(json, "y", l.y);
  ticks_json(json, "year_ticks", l.year_ticks);
  ticks_json(json, "month_ticks", l.month_ticks);
  ticks_json(json, "baseline_ticks", l.baseline_ticks);
  json.key("texts");
  json.begin_array();
  for (const PlacedText& t : l.texts) {
    Compact text('{');
    text.member("role", json_of(std::string(role_name(t.role)))).member("text", json_of(t.text));
    text.member("x", json_of(t.x)).member("y", json_of(t.y)).member("size", json_of(t.size));
    if (t.bold) text.member("bold", "true");
    if (t.vertical) text.member("vertical", "true");
    json.raw(text.done());
  }
  json.end_array();
  json.key("legend");
  json.begin_array();
  for (const LegendMark& m : l.legend) {
    const char* kind = m.kind == LegendMark::Kind::ring ? "ring" : m.kind == LegendMark::Kind::dot ? "dot" : "line";
    json.raw(Compact('{')
                 .member("kind", json_of(std::string(kind)))
                 .member("colour", json_of(m.colour))
                 .member("x", json_of(m.x))
                 .member("y", json_of(m.y))
                 .done());
  }
  json.end_array();
  if (l.colour_bar) box_json(json, "colour_bar", *l.colour_bar);
  json.key("pair_colour");
  json.string(l.pair_colour);
  json.key("reference_colour");
  json.string(reference_mark_colour);
  Compact palette('[');
  for (std::size_t k = 0; k < coloured_parts; ++k) palette.item(json_of(part_colour(k)));
  json.key("palette");
  json.raw(palette.done());
  json.key("other_colour");
  json.string(part_colour(coloured_parts));
  // The coherence's colours in steps of 0.01.
  constexpr int steps = 100;
  Compact colours('[');
  for (int k = 0; k <= steps; ++k) colours.item(json_of(coherence_colour(k / double(steps))));
  json.key("coherence_colours");
  json.raw(colours.done());
  Compact scale('[');
  for (const ColourStop& stop : coherence_scale())
    scale.item(Compact('[').item(json_of(stop.at)).item(json_of(std::string(stop.colour))).done());
  json.key("scale");
  json.raw(scale.done());
  json.end_object();
}

// The acquisitions in the network's order: name, date, day, perpendicular
// baseline (shown), reference, and the texts of the point columns of the
// pairs' CSV.
void acquisitions_json(JsonWriter& json, const PageContent& c, const PairNetwork& page) {
  const std::vector<NetworkPoint>& shown = *c.points;
  json.key("acquisitions");
  json.begin_array();
  for (const std::size_t i : c.network->order()) {
    const NetworkPoint& p = shown[i];
    Pair self;
    self.first = self.second = i;
    Compact csv('{');
    for (const PairColumn& col : pair_columns())
      if (col.part == PairPart::first || col.part == PairPart::second)
        csv.member(col.key, json_of(csv_of(col.value(PairRow{page, self}))));
    json.raw(Compact('{')
                 .member("name", json_of(page.points()[i].name))
                 .member("date", p.day ? json_of(date_label(*p.day)) : "null")
                 .member("day", p.day ? std::to_string(*p.day) : "null")
                 .member("perpendicular_m", json_of(p.perpendicular))
                 .member("reference", p.reference ? "true" : "false")
                 .member("csv", csv.done())
                 .done());
  }
  json.end_array();
}

// The pairs: [first, second, in the network, the values of the pair
// columns], first and second as places in the network's order.
void pairs_json(JsonWriter& json, const PageContent& c, const PairNetwork& page) {
  std::vector<const PairColumn*> own;
  for (const PairColumn& col : pair_columns())
    if (col.part == PairPart::pair) own.push_back(&col);
  const PairNetwork& network = *c.network;
  const auto row = [&](const Pair& p, bool chosen) {
    Compact text('[');
    text.item(std::to_string(network.rank(p.first))).item(std::to_string(network.rank(p.second)));
    text.item(chosen ? "1" : "0");
    const Pair values = page.make_pair(p.first, p.second);
    for (const PairColumn* col : own) text.item(json_of(col->value(PairRow{page, values})));
    json.raw(text.done());
  };
  // The network's pairs by their places, to mark the candidates chosen.
  std::vector<std::pair<std::size_t, std::size_t>> chosen;
  network.for_each([&](const Pair& p) { chosen.emplace_back(network.rank(p.first), network.rank(p.second)); });
  std::vector<bool> seen(chosen.size(), false);
  json.key("pairs");
  json.begin_array();
  if (c.candidates != nullptr) {
    c.candidates->for_each([&](const Pair& p) {
      const auto key = std::pair{network.rank(p.first), network.rank(p.second)};
      const auto at = std::lower_bound(chosen.begin(), chosen.end(), key);
      const bool in = at != chosen.end() && *at == key;
      if (in) seen[static_cast<std::size_t>(at - chosen.begin())] = true;
      row(p, in);
    });
  }
  // The network's pairs that are no candidates (--annual, --mst, or all
  // of them without candidates).
  std::size_t k = 0;
  network.for_each([&](const Pair& p) {
    if (!seen[k++]) row(p, true);
  });
  json.end_array();
}

void data_json(std::FILE* out, const PageContent& c) {
  // The points in this tool's own convention under the names shown: the
  // CSV's values, as --export pairs writes them.
  std::vector<NetworkPoint> named = c.export_network->points();
  for (NetworkPoint& p : named)
    if (!c.paths) p.name = file_name(p.name);
  const PairNetwork page = PairNetwork::without_pairs(named, c.export_network->model());

  JsonWriter json(out);
  json.begin_object();
  json.key("convention");
  json.string(c.convention);
  json.key("sign");
  json.number(c.sign, Digits::shortest);
  json.key("candidates");
  json.boolean(c.candidates != nullptr);
  json.key("limits");
  json.begin_object();
  optional_number(json, "max_perp", c.limits.max_perpendicular);
  optional_number(json, "max_days",
                  c.limits.max_days ? std::optional<double>(static_cast<double>(*c.limits.max_days)) : std::nullopt);
  optional_number(json, "min_coherence", c.limits.min_coherence);
  json.end_object();
  json.key("signed_keys");
  json.begin_array();
  for (const std::string_view key : signed_keys) json.string(key);
  json.end_array();
  json.key("columns");
  json.begin_array();
  for (const PairColumn& col : pair_columns())
    json.raw(Compact('{').member("key", json_of(std::string(col.key))).member("part", json_of(std::string(pair_part_name(col.part)))).done());
  json.end_array();
  json.key("network_csv");
  json.begin_object();
  for (const PairColumn& col : pair_columns())
    if (col.part == PairPart::network) {
      Pair self;
      json.key(col.key);
      json.string(csv_of(col.value(PairRow{page, self})));
    }
  json.end_object();
  acquisitions_json(json, c, page);
  pairs_json(json, c, page);

  // The plot as the network shows it, a connected one's legend (the page
  // lists the parts as they change).
  std::vector<NetworkPoint> shown = *c.points;
  for (NetworkPoint& p : shown)
    if (!c.paths) p.name = file_name(p.name);
  PlotContent plot;
  plot.points = &shown;
  plot.pair_count = c.network->count();
  plot.shaded = std::isfinite(c.network->model().critical_baseline());
  plot.convention = c.convention;
  const PlotLayout layout =
      lay_out_plot(plot, width_points(page_plot_size), height_points(page_plot_size), plot_text_measure());
  layout_json(json, layout);
  json.end_object();
  json.finish();
}

}  // namespace

PairLimits candidate_limits(const PairLimits& limits) {
  PairLimits candidates;
  candidates.max_perpendicular = limits.max_perpendicular;
  candidates.max_days = limits.max_days;
  candidates.min_coherence = limits.min_coherence;
  return candidates;
}

bool write_network_page(std::FILE* out, const PageContent& content, std::string* problem) {
  // The data gathered, then every '<' written as \u003c: in JSON it can
  // stand only inside strings, and so no name can end the script element.
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* memory = open_memstream(&buffer, &size);
  if (memory == nullptr) {
    *problem = std::strerror(errno);
    return false;
  }
  data_json(memory, content);
  std::fclose(memory);
  const std::unique_ptr<char, decltype(&std::free)> data(buffer, &std::free);

  const std::string_view page = network_page_template;
  const std::size_t at = page.find(data_marker);
  std::string text(page.substr(0, at));
  for (std::size_t k = 0; k < size; ++k) {
    if (buffer[k] == '<') text += "\\u003c";
    else text += buffer[k];
  }
  text += page.substr(at + data_marker.size());
  if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
    *problem = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace bperp::stack
