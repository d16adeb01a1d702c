#include "bperp/stack/outputs/pair_output.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/outputs/record_columns.h"
#include "bperp/stack/outputs/stack_output.h"
#include "bperp/stack/outputs/text_table.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// Bytes gathered before they are written.
constexpr std::size_t flush_bytes = 1 << 16;

// Writes text when it has grown past flush_bytes (always when final).
void flush(std::FILE* out, std::string& text, bool final = false) {
  if (!final && text.size() < flush_bytes) return;
  std::fwrite(text.data(), 1, text.size(), out);
  text.clear();
}

std::string days_text(const Pair& p) { return p.days ? std::to_string(*p.days) : std::string(); }

// The texts of some pair columns in one output format, made by format from
// their values: those of a point kept for every point and those of the
// network kept once, so that only the pair's own are made per pair.
class PairTexts {
 public:
  // Appends a value's text to out.
  using Format = void (*)(std::string& out, const PairColumn&, const Value&);

  PairTexts(const PairNetwork& network, std::vector<const PairColumn*> columns, Format format)
      : network_(network), columns_(std::move(columns)), format_(format), kept_(columns_.size()),
        kept_width_(columns_.size()), made_(columns_.size()) {
    for (std::size_t k = 0; k < columns_.size(); ++k) {
      const PairColumn& c = *columns_[k];
      if (c.part == PairPart::pair) continue;
      const std::size_t count = c.part == PairPart::network ? 1 : network.points().size();
      kept_[k].resize(count);
      for (std::size_t i = 0; i < count; ++i) {
        Pair self;  // a point's columns read the point, the network's the network
        self.first = self.second = i;
        format(kept_[k][i], c, c.value(PairRow{network, self}));
        kept_width_[k].push_back(display_width(kept_[k][i]));
      }
    }
  }

  const std::vector<const PairColumn*>& columns() const { return columns_; }

  // Appends the text of column k in pair p to out: a point's or the
  // network's as kept, the pair's own formatted straight into out.
  void append(std::size_t k, const Pair& p, std::string& out) const {
    const PairColumn& c = *columns_[k];
    if (c.part != PairPart::pair) out += kept_[k][kept_index(c, p)];
    else format_(out, c, c.value(PairRow{network_, p}));
  }

  // The kept texts of column k (a point's or the network's): one per
  // point, or the network's one.
  const std::vector<std::string>& kept(std::size_t k) const { return kept_[k]; }

  // The text of column k in pair p (until the next call for column k).
  const std::string& text(std::size_t k, const Pair& p) {
    const PairColumn& c = *columns_[k];
    if (c.part != PairPart::pair) return kept_[k][kept_index(c, p)];
    made_[k].clear();
    append(k, p, made_[k]);
    return made_[k];
  }

  // The display width of column k in pair p, without making the text of a
  // pair's own number: the network's widest number is its largest or its
  // smallest (NumberExtent).
  std::size_t kept_width(std::size_t k, const Pair& p) const {
    return kept_width_[k][kept_index(*columns_[k], p)];
  }

  // The text and its display width.
  TableCell cell(std::size_t k, const Pair& p) {
    const std::string& t = text(k, p);
    const PairColumn& c = *columns_[k];
    if (c.part != PairPart::pair) return {t, kept_width_[k][kept_index(c, p)]};
    return {t, c.type == ValueType::text ? display_width(t) : t.size()};  // numbers, dates: ASCII
  }

 private:
  // Where a column's text is kept: its point's, or the network's one.
  static std::size_t kept_index(const PairColumn& c, const Pair& p) {
    return c.part == PairPart::first ? p.first : c.part == PairPart::second ? p.second : 0;
  }

  const PairNetwork& network_;
  std::vector<const PairColumn*> columns_;
  Format format_;
  std::vector<std::vector<std::string>> kept_;  // per column: per point, or the network's one
  std::vector<std::vector<std::size_t>> kept_width_;
  std::vector<std::string> made_;  // per column: its text in the last pair asked for
};

// The widest text of a table column's values, found from its extremes: a
// number's text in the table (fixed decimals, rounded as to_chars rounds,
// whole numbers) grows with its magnitude on either side of zero, so the
// widest is that of the largest or of the smallest value. Texts count as
// they come.
class NumberExtent {
 public:
  void add(const Value& v) {
    if (const auto* x = std::get_if<double>(&v)) add_number(*x, false);
    else if (const auto* n = std::get_if<long>(&v)) add_number(static_cast<double>(*n), true);
    else if (const auto* t = std::get_if<std::string>(&v)) text_width_ = std::max(text_width_, display_width(*t));
  }
  std::size_t width(const PairColumn& c) const {
    std::size_t w = text_width_;
    if (!any_) return w;
    for (const double x : {low_, high_}) {
      const Value v = whole_ ? Value(static_cast<long>(x)) : Value(x);
      w = std::max(w, table_text(c, v).size());
    }
    return w;
  }

 private:
  void add_number(double x, bool whole) {
    whole_ = whole;
    low_ = any_ ? std::min(low_, x) : x;  // a whole number of days is exact in a double
    high_ = any_ ? std::max(high_, x) : x;
    any_ = true;
  }
  bool any_ = false, whole_ = false;
  double low_ = 0, high_ = 0;
  std::size_t text_width_ = 0;
};

std::vector<const PairColumn*> all_pair_columns() {
  std::vector<const PairColumn*> all;
  for (const PairColumn& c : pair_columns()) all.push_back(&c);
  return all;
}

void table_format(std::string& out, const PairColumn& c, const Value& v) { out += table_text(c, v); }
void csv_format(std::string& out, const PairColumn&, const Value& v) { append_csv_field(out, v); }
// Pairs' numbers in their shortest digits, as they have always been written.
void json_format(std::string& out, const PairColumn&, const Value& v) {
  if (const auto* t = std::get_if<std::string>(&v)) append_json_string(out, *t);
  else if (const auto* n = std::get_if<long>(&v)) out += std::to_string(*n);
  else if (const auto* x = std::get_if<double>(&v)) append_json_number(out, *x, Digits::shortest);
  else out += "null";
}

}  // namespace

void write_pairs_table(std::FILE* out, const std::vector<NetworkPoint>&, const PairNetwork& network) {
  std::vector<const PairColumn*> shown;
  std::vector<TableColumn> columns;
  for (const PairColumn& c : pair_columns())
    if (in_pairs_table(c, network)) {
      shown.push_back(&c);
      columns.push_back({c.heading, c.align});
    }
  PairTexts texts(network, std::move(shown), table_format);
  const std::size_t n = columns.size();
  std::vector<std::size_t> width(n);
  for (std::size_t c = 0; c < n; ++c) width[c] = display_width(columns[c].heading);
  std::size_t count = 0;
  std::vector<NumberExtent> extent(n);
  network.for_each([&](const Pair& p) {
    ++count;
    for (std::size_t c = 0; c < n; ++c) {
      const PairColumn& column = *texts.columns()[c];
      if (column.part != PairPart::pair) width[c] = std::max(width[c], texts.kept_width(c, p));
      else extent[c].add(column.value(PairRow{network, p}));
    }
  });
  for (std::size_t c = 0; c < n; ++c) width[c] = std::max(width[c], extent[c].width(*texts.columns()[c]));

  std::string text(1, '\n');
  text += count_text(count, "pair", "pairs") +
          " (a pair's perpendicular baseline: the second's minus the first's, both "
          "against the reference geometry)\n\n";
  std::vector<std::string> rule(n);
  std::vector<TableCell> cells(n);
  for (std::size_t c = 0; c < n; ++c) cells[c] = {columns[c].heading, display_width(columns[c].heading)};
  append_table_line(text, columns, width, cells.data(), n);
  for (std::size_t c = 0; c < n; ++c) {
    rule[c].assign(width[c], '-');
    cells[c] = {rule[c], width[c]};
  }
  append_table_line(text, columns, width, cells.data(), n);
  network.for_each([&](const Pair& p) {
    for (std::size_t c = 0; c < n; ++c) cells[c] = texts.cell(c, p);
    append_table_line(text, columns, width, cells.data(), n);
    flush(out, text);
  });
  flush(out, text, true);
}

namespace {

// Output bytes gathered in a block and written when a cell would not fit:
// the cells are written straight into it.
class OutputBlock {
 public:
  explicit OutputBlock(std::FILE* out) : out_(out), block_(2 * flush_bytes), end_(block_.data()) {}
  ~OutputBlock() { write(); }
  OutputBlock(const OutputBlock&) = delete;
  OutputBlock& operator=(const OutputBlock&) = delete;

  // Where n more bytes go (at least n free from there).
  char* room(std::size_t n) {
    if (static_cast<std::size_t>(block_.data() + block_.size() - end_) < n) {
      write();
      if (block_.size() < n) {  // a text longer than the block: a block of its size
        std::vector<char>(n).swap(block_);
        end_ = block_.data();
      }
    }
    return end_;
  }
  // The bytes up to end, written from room(), are kept.
  void kept_to(char* end) { end_ = end; }

 private:
  void write() {
    std::fwrite(block_.data(), 1, static_cast<std::size_t>(end_ - block_.data()), out_);
    end_ = block_.data();
  }
  std::FILE* out_;
  std::vector<char> block_;
  char* end_;
};

// A pair's cells in one format, each written straight into a buffer,
// laid out from pair_column_table as this is compiled: a point's or the
// network's text as kept, a pair's own value (PairColumn::own) read from
// the Pair and formatted in place. Format gives the texts kept (format),
// what comes before each cell and after the last (before, after), and the
// pair's own days and numbers (days, number: at most own_room chars).
template <typename Format>
class PairCells {
 public:
  PairCells(const PairNetwork& network, Format format) : format_(std::move(format)) {
    const PairTexts texts(network, all_pair_columns(), Format::format);
    columns_ = texts.columns();
    kept_.resize(columns_.size());
    room_ = format_.after().size();
    for (std::size_t k = 0; k < columns_.size(); ++k) {
      room_ += format_.before(k).size();
      if (columns_[k]->part == PairPart::pair) {
        room_ += Format::own_room;
        continue;
      }
      Kept& cell = kept_[k];
      const std::vector<std::string>& kept = texts.kept(k);
      std::size_t widest = 0;
      for (const std::string& t : kept) widest = std::max(widest, t.size());
      cell.stride = (widest + copy_bytes - 1) / copy_bytes * copy_bytes;
      cell.texts.assign(kept.size() * cell.stride + copy_bytes, '\0');
      for (std::size_t i = 0; i < kept.size(); ++i) {
        std::copy(kept[i].begin(), kept[i].end(), cell.texts.begin() + static_cast<std::ptrdiff_t>(i * cell.stride));
        cell.lengths.push_back(kept[i].size());
      }
      room_ += cell.stride;
    }
  }

  const std::vector<const PairColumn*>& columns() const { return columns_; }
  // The most a pair's cells take (with copy_bytes to spare).
  std::size_t room() const { return room_ + copy_bytes; }

  // Writes pair p's cells from at; returns their end.
  char* write(char* at, const Pair& p) const {
    at = cells(at, p, std::make_index_sequence<std::size(pair_column_table)>());
    const std::string_view after = format_.after();
    return std::copy(after.begin(), after.end(), at);
  }

 private:
  template <std::size_t... K>
  char* cells(char* at, const Pair& p, std::index_sequence<K...>) const {
    ((at = cell<K>(at, p)), ...);
    return at;
  }

  // Column K's cell of pair p, from at; returns its end.
  template <std::size_t K>
  char* cell(char* at, const Pair& p) const {
    constexpr PairColumn column = pair_column_table[K];
    at = format_.template put_before<K>(at);
    if constexpr (column.own == PairValue::none) {
      const std::size_t i = column.part == PairPart::first ? p.first : column.part == PairPart::second ? p.second : 0;
      const Kept& kept = kept_[K];
      return copy_pieces(at, kept.texts.data() + i * kept.stride, kept.lengths[i]);
    } else if constexpr (column.own == PairValue::days) {
      return Format::days(at, p.days);
    } else {
      return Format::number(at, column.own == PairValue::perpendicular         ? p.perpendicular
                                : column.own == PairValue::height_of_ambiguity ? p.height_of_ambiguity
                                                                               : p.coherence);
    }
  }

 public:
  // Copies length bytes of text to at in pieces of copy_bytes (text has
  // the last piece's whole bytes, at room for them); returns the end.
  static char* copy_pieces(char* at, const char* text, std::size_t length) {
    for (std::size_t k = 0; k < length; k += copy_bytes) std::memcpy(at + k, text + k, copy_bytes);
    return at + length;
  }

  // Kept texts are kept in slots of a whole number of these pieces.
  static constexpr std::size_t copy_bytes = 16;

 private:
  // A point's (or the network's one) text of a column per slot of stride
  // bytes.
  struct Kept {
    std::string texts;
    std::size_t stride = 0;
    std::vector<std::size_t> lengths;
  };
  Format format_;
  std::vector<const PairColumn*> columns_;
  std::vector<Kept> kept_;  // per column (empty for the pair's own)
  std::size_t room_ = 0;
};

// A CSV row: a newline before the first cell, commas between; numbers in
// their shortest digits, nothing for none.
struct CsvCells {
  static constexpr PairTexts::Format format = csv_format;
  static constexpr std::size_t own_room = shortest_room;
  std::string_view before(std::size_t) const { return ","; }
  std::string_view after() const { return {}; }
  template <std::size_t K>
  char* put_before(char* at) const {
    *at = K == 0 ? '\n' : ',';
    return at + 1;
  }
  static char* days(char* at, const std::optional<long>& days) {
    return days ? std::to_chars(at, at + own_room, *days).ptr : at;
  }
  static char* number(char* at, double x) { return std::isfinite(x) ? append_shortest(at, x) : at; }
};

// A JSON object of the pair's members at the depth of the array it is
// written into (as JsonWriter lays them out); numbers in their shortest
// digits, null for none.
class JsonCells {
 public:
  static constexpr PairTexts::Format format = json_format;
  static constexpr std::size_t own_room = json_number_room;

  explicit JsonCells(const JsonWriter& json) : after_(json.closing_start()) {
    after_ += '}';
    const std::string line = json.member_start();
    for (const PairColumn& c : pair_columns()) {
      std::string before;
      if (before_.empty()) {  // the object's brace, and no comma before its first member
        before += '{';
        before.append(line, 1);
      } else {
        before += line;
      }
      append_json_string(before, c.key);
      before += ": ";
      before_length_.push_back(before.size());
      before.append(PairCells<JsonCells>::copy_bytes, '\0');
      before_.push_back(std::move(before));
    }
  }
  std::string_view before(std::size_t k) const { return {before_[k].data(), before_length_[k]}; }
  std::string_view after() const { return after_; }
  template <std::size_t K>
  char* put_before(char* at) const {
    return PairCells<JsonCells>::copy_pieces(at, before_[K].data(), before_length_[K]);
  }
  static char* days(char* at, const std::optional<long>& days) {
    return days ? std::to_chars(at, at + own_room, *days).ptr : std::copy_n("null", 4, at);
  }
  static char* number(char* at, double x) { return append_json_number(at, x, Digits::shortest); }

 private:
  std::vector<std::string> before_;  // per column, and a piece's bytes beyond
  std::vector<std::size_t> before_length_;
  std::string after_;
};

}  // namespace

void write_pairs_csv(std::FILE* out, const std::vector<NetworkPoint>&, const PairNetwork& network) {
  const PairCells<CsvCells> cells(network, CsvCells{});
  std::string header;
  for (const PairColumn* c : cells.columns()) {
    if (!header.empty()) header += ',';
    header += c->key;
  }
  OutputBlock block(out);
  char* start = block.room(header.size());
  block.kept_to(std::copy(header.begin(), header.end(), start));
  const std::size_t room = cells.room();
  network.for_each([&](const Pair& p) { block.kept_to(cells.write(block.room(room), p)); });
  char* last = block.room(1);
  *last = '\n';
  block.kept_to(last + 1);
}

void pairs_json(JsonWriter& json, const PairNetwork& network) {
  json.key("pairs");
  json.begin_array();
  const PairCells<JsonCells> cells(network, JsonCells(json));
  std::string object(cells.room(), '\0');
  network.for_each([&](const Pair& p) {
    json.raw(std::string_view(object.data(), static_cast<std::size_t>(cells.write(object.data(), p) - object.data())));
  });
  json.end_array();
}

void network_json(JsonWriter& json, const std::vector<NetworkPoint>& points, const Connectivity& c,
                  const DistanceScale& scale) {
  json.begin_object();
  json.key("components");
  json.whole(static_cast<long long>(c.components.size()));
  json.key("members");
  json.begin_array();
  for (const std::vector<std::size_t>& part : c.components) {
    json.begin_array();
    for (const std::size_t i : part) json.string(points[i].name);
    json.end_array();
  }
  json.end_array();
  json.key("bridges");
  json.begin_array();
  for (const Pair& p : c.bridges) {
    const NetworkPoint& a = points[p.first];
    const NetworkPoint& b = points[p.second];
    json.begin_object();
    json.key("first");
    json.string(a.name);
    json.key("second");
    json.string(b.name);
    for (const auto& [key, day] : {std::pair{"first_date", a.day}, std::pair{"second_date", b.day}}) {
      json.key(key);
      if (day) json.string(day_text(day));
      else json.null();
    }
    json.key("days");
    if (p.days) json.whole(*p.days);
    else json.null();
    json.key("perpendicular_m");
    json.number(p.perpendicular);
    json.key("distance");
    json.number(network_distance(points, p.first, p.second, scale));
    json.end_object();
  }
  json.end_array();
  const NetworkSummary& s = c.summary;
  json.key("acquisitions");
  json.whole(static_cast<long long>(s.acquisitions));
  json.key("pairs");
  json.whole(static_cast<long long>(s.pairs));
  json.key("parts");
  json.whole(static_cast<long long>(c.components.size()));
  json.key("pairs_per_acquisition_min");
  json.whole(static_cast<long long>(s.pairs_per_acquisition_min));
  json.key("pairs_per_acquisition_mean");
  json.number(s.pairs_per_acquisition_mean);
  json.key("max_abs_perpendicular_m");
  json.number(s.max_abs_perpendicular.value_or(NAN));
  json.key("max_abs_days");
  if (s.max_abs_days) json.whole(*s.max_abs_days);
  else json.null();
  json.key("mean_coherence");
  json.number(s.mean_coherence.value_or(NAN));
  json.end_object();
}

void write_json_with_pairs(std::FILE* out, const StackRun& run, const std::vector<NetworkPoint>& points,
                           const PairNetwork& network, const Connectivity& connectivity, Convention convention,
                           const std::vector<std::string>& warnings, const RunChoices& choices,
                           const GridStream* stream) {
  JsonWriter json(out);
  json.begin_object();
  stack_json(json, run, convention, stream);
  pairs_json(json, network);
  json.key("network");
  network_json(json, points, connectivity, network.scale());
  choices_json(json, choices);
  document_notes_json(json, convention, warnings);
  json.end_object();
  json.finish();
}

std::string network_summary_text(const NetworkSummary& s) {
  std::string text = count_text(s.pairs, "pair", "pairs") + "; per acquisition at least " +
                     std::to_string(s.pairs_per_acquisition_min) + ", on average " +
                     fixed_text(s.pairs_per_acquisition_mean, 2);
  if (s.max_abs_perpendicular) {
    text += "; largest |perpendicular| " + fixed_text(*s.max_abs_perpendicular, length_decimals) + " m";
    if (s.max_abs_days) text += " and |days| " + std::to_string(*s.max_abs_days);
  }
  if (s.mean_coherence) text += "; mean modelled coherence " + fixed_text(*s.mean_coherence, 2);
  return text;
}

void write_network_summary(std::FILE* out, const std::vector<NetworkPoint>& points, const Connectivity& c,
                           const DistanceScale& scale) {
  std::string text = "\n";
  if (c.connected()) {
    text += "network: connected (" + count_text(points.size(), "acquisition", "acquisitions") + " in one part)\n";
    text += "  " + network_summary_text(c.summary) + "\n";
    std::fputs(text.c_str(), out);
    return;
  }
  text += "network: split into " + std::to_string(c.components.size()) + " parts\n";
  text += "  " + network_summary_text(c.summary) + "\n";
  for (std::size_t k = 0; k < c.components.size(); ++k) {
    text += "  part " + std::to_string(k + 1) + ":";
    for (const std::size_t i : c.components[k]) text += " " + points[i].name;
    text += "\n";
  }
  text += '\n';
  text += count_text(c.bridges.size(), "pair", "pairs") +
          " would join them (the closest by sqrt((days / " + round_trip_text(scale.days) +
          ")^2 + (perpendicular / " + round_trip_text(scale.metres) + " m)^2)):\n\n";
  const std::vector<TableColumn> columns = {{"first", Align::left},       {"second", Align::left},
                                            {"days", Align::right},       {"perpendicular (m)", Align::right},
                                            {"distance", Align::right}};
  std::vector<std::vector<std::string>> rows;
  for (const Pair& p : c.bridges)
    rows.push_back({points[p.first].name, points[p.second].name, days_text(p),
                    fixed_text_unsigned_zero(p.perpendicular, length_decimals),
                    fixed_text(network_distance(points, p.first, p.second, scale), 3)});
  std::fputs(text.c_str(), out);
  write_text_table(out, columns, rows);
}

}  // namespace bperp::stack
