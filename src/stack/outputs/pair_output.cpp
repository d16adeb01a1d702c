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

std::string days_text(const Pair& p) { return p.days ? std::to_string(*p.days) : std::string(); }

// The texts of a point's or the network's column c made by format from its
// values: one per point, or the network's one.
template <typename Format>
std::vector<std::string> kept_texts(const PairNetwork& network, const PairColumn& c, Format format) {
  std::vector<std::string> texts(c.part == PairPart::network ? 1 : network.points().size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    Pair self;  // a point's columns read the point, the network's the network
    self.first = self.second = i;
    texts[i] = format(c, c.value(PairRow{network, self}));
  }
  return texts;
}

// A pair's own value v as a number: its days (whole) or one of its numbers;
// NaN for none.
double own_number(const Pair& p, PairValue v) {
  switch (v) {
    case PairValue::days:
      return p.days ? static_cast<double>(*p.days) : NAN;
    case PairValue::perpendicular:
      return p.perpendicular;
    case PairValue::height_of_ambiguity:
      return p.height_of_ambiguity;
    case PairValue::coherence:
      return p.coherence;
    case PairValue::none:
      break;
  }
  return NAN;
}

// The widest text of a table column's values, found from its extremes: a
// number's text in the table (fixed decimals, rounded as to_chars rounds,
// whole numbers) grows with its magnitude on either side of zero, so the
// widest is that of the largest or of the smallest value.
class NumberExtent {
 public:
  // A finite value (days exact in a double); others are none.
  void add(double x) {
    if (!std::isfinite(x)) return;
    low_ = any_ ? std::min(low_, x) : x;
    high_ = any_ ? std::max(high_, x) : x;
    any_ = true;
  }
  std::size_t width(const PairColumn& c) const {
    std::size_t w = 0;
    if (!any_) return w;
    for (const double x : {low_, high_}) {
      const Value v = c.type == ValueType::whole ? Value(static_cast<long>(x)) : Value(x);
      w = std::max(w, table_text(c, v).size());
    }
    return w;
  }

 private:
  bool any_ = false;
  double low_ = 0, high_ = 0;
};

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
  void put(std::string_view text) { kept_to(std::copy(text.begin(), text.end(), room(text.size()))); }

 private:
  void write() {
    std::fwrite(block_.data(), 1, static_cast<std::size_t>(end_ - block_.data()), out_);
    end_ = block_.data();
  }
  std::FILE* out_;
  std::vector<char> block_;
  char* end_;
};

// Kept texts are copied in pieces of this many bytes: each is kept with
// room for its last piece's whole bytes, and the buffers written have room
// for them beyond the text.
constexpr std::size_t copy_bytes = 16;

// Copies length bytes of text to at in pieces of copy_bytes; returns the end.
char* copy_pieces(char* at, const char* text, std::size_t length) {
  for (std::size_t k = 0; k < length; k += copy_bytes) std::memcpy(at + k, text + k, copy_bytes);
  return at + length;
}

// A pair's cells in one format, each written straight into a buffer,
// laid out from pair_column_table as this is compiled: a point's or the
// network's text as kept, a pair's own value (PairColumn::own) read from
// the Pair and formatted in place. Format says which columns it shows
// (shown), the texts it keeps (kept), what comes before each cell
// (put_before, at most before_room(k) chars), the pair's own days and
// numbers (days, number: at most own_room(k) chars) and how a row ends
// (finish, at most finish_room() chars).
template <typename Format>
class PairCells {
 public:
  PairCells(const PairNetwork& network, Format format) : format_(std::move(format)) {
    kept_.resize(std::size(pair_column_table));
    room_ = format_.finish_room() + copy_bytes;
    for (std::size_t k = 0; k < kept_.size(); ++k) {
      const PairColumn& c = pair_column_table[k];
      if (!format_.shown(k)) continue;
      room_ += format_.before_room(k);
      if (c.part == PairPart::pair) {
        room_ += format_.own_room(k);
        continue;
      }
      Kept& cell = kept_[k];
      const std::vector<std::string> kept = kept_texts(
          network, c, [&](const PairColumn& column, const Value& v) { return format_.kept(column, v); });
      std::size_t widest = 0;
      for (const std::string& t : kept) widest = std::max(widest, t.size());
      cell.stride = (widest + copy_bytes - 1) / copy_bytes * copy_bytes;
      cell.texts.assign(kept.size() * cell.stride + copy_bytes, '\0');
      for (std::size_t i = 0; i < kept.size(); ++i) {
        std::copy(kept[i].begin(), kept[i].end(),
                  cell.texts.begin() + static_cast<std::ptrdiff_t>(i * cell.stride));
        cell.lengths.push_back(kept[i].size());
      }
      room_ += cell.stride;
    }
  }

  // The most a pair's cells take, with copy_bytes to spare.
  std::size_t room() const { return room_; }

  // Writes pair p's cells from at; returns their end.
  char* write(char* at, const Pair& p) const {
    char* start = at;
    at = cells(at, p, std::make_index_sequence<std::size(pair_column_table)>());
    return format_.finish(start, at);
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
    if (!format_.shown(K)) return at;
    at = format_.template put_before<K>(at);
    if constexpr (column.own == PairValue::none) {
      const std::size_t i = column.part == PairPart::first    ? p.first
                            : column.part == PairPart::second ? p.second
                                                              : 0;
      const Kept& kept = kept_[K];
      return copy_pieces(at, kept.texts.data() + i * kept.stride, kept.lengths[i]);
    } else if constexpr (column.own == PairValue::days) {
      return format_.template days<K>(at, p.days);
    } else {
      return format_.template number<K>(at, column.own == PairValue::perpendicular ? p.perpendicular
                                            : column.own == PairValue::height_of_ambiguity
                                                ? p.height_of_ambiguity
                                                : p.coherence);
    }
  }

  // A point's (or the network's one) text of a column per slot of stride
  // bytes.
  struct Kept {
    std::string texts;
    std::size_t stride = 0;
    std::vector<std::size_t> lengths;
  };
  Format format_;
  std::vector<Kept> kept_;  // per column (empty for the pair's own)
  std::size_t room_ = 0;
};

// A CSV row: a newline before the first cell, commas between; texts as
// append_csv_field writes them, numbers in their shortest digits, nothing
// for none.
struct CsvCells {
  std::size_t finish_room() const { return 0; }
  bool shown(std::size_t) const { return true; }
  std::size_t before_room(std::size_t) const { return 1; }
  std::size_t own_room(std::size_t) const { return shortest_room; }
  std::string kept(const PairColumn&, const Value& v) const {
    std::string text;
    append_csv_field(text, v);
    return text;
  }
  template <std::size_t K>
  char* put_before(char* at) const {
    *at = K == 0 ? '\n' : ',';
    return at + 1;
  }
  template <std::size_t>
  char* days(char* at, const std::optional<long>& days) const {
    return days ? std::to_chars(at, at + shortest_room, *days).ptr : at;
  }
  template <std::size_t>
  char* number(char* at, double x) const {
    return std::isfinite(x) ? append_shortest(at, x) : at;
  }
  char* finish(char*, char* at) const { return at; }
};

// A JSON object of the pair's members at the depth of the array it is
// written into (as JsonWriter lays them out); numbers in their shortest
// digits, null for none.
class JsonCells {
 public:
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
      before.append(copy_bytes, '\0');
      before_.push_back(std::move(before));
    }
    after_.append(copy_bytes, '\0');
  }
  bool shown(std::size_t) const { return true; }
  std::size_t finish_room() const { return after_.size(); }
  std::size_t before_room(std::size_t k) const { return before_[k].size(); }
  std::size_t own_room(std::size_t) const { return json_number_room; }
  std::string kept(const PairColumn&, const Value& v) const {
    if (const auto* t = std::get_if<std::string>(&v)) {
      std::string text;
      append_json_string(text, *t);
      return text;
    }
    if (const auto* n = std::get_if<long>(&v)) return std::to_string(*n);
    if (const auto* x = std::get_if<double>(&v)) {
      std::string text;
      append_json_number(text, *x, Digits::shortest);
      return text;
    }
    return "null";
  }
  template <std::size_t K>
  char* put_before(char* at) const {
    return copy_pieces(at, before_[K].data(), before_length_[K]);
  }
  template <std::size_t>
  char* days(char* at, const std::optional<long>& days) const {
    return days ? std::to_chars(at, at + json_number_room, *days).ptr : std::copy_n("null", 4, at);
  }
  template <std::size_t>
  char* number(char* at, double x) const {
    return append_json_number(at, x, Digits::shortest);
  }
  char* finish(char*, char* at) const { return copy_pieces(at, after_.data(), after_.size() - copy_bytes); }

 private:
  std::vector<std::string> before_;  // per column, and a piece's bytes beyond
  std::vector<std::size_t> before_length_;
  std::string after_;  // and a piece's bytes beyond
};

// A line of the pairs' table: the columns it shows, each padded to its
// width (names and dates on the left, numbers on the right), two blanks
// between, no blanks at its end; numbers with their column's decimals, as
// table_text writes them.
class TableCells {
 public:
  TableCells(std::vector<bool> shown, std::vector<std::size_t> width)
      : shown_(std::move(shown)), width_(std::move(width)) {
    for (std::size_t k = shown_.size(); k-- > 0;)
      if (shown_[k]) first_shown_ = k;
  }
  bool shown(std::size_t k) const { return shown_[k]; }
  std::size_t finish_room() const { return 1; }
  std::size_t before_room(std::size_t) const { return 2; }
  std::size_t own_room(std::size_t k) const { return width_[k]; }
  // A kept text padded to its column's width (c one of pair_column_table;
  // a point in no pair may be wider, and is never written).
  std::string kept(const PairColumn& c, const Value& v) const {
    const std::string text = table_text(c, v);
    const auto k = static_cast<std::size_t>(&c - pair_column_table);
    const std::string pad(width_[k] - std::min(width_[k], display_width(text)), ' ');
    return c.align == Align::right ? pad + text : text + pad;
  }
  template <std::size_t K>
  char* put_before(char* at) const {
    if (K == first_shown_) return at;
    at[0] = at[1] = ' ';
    return at + 2;
  }
  template <std::size_t K>
  char* days(char* at, const std::optional<long>& days) const {
    char* end = days ? std::to_chars(at, at + width_[K], *days).ptr : at;
    return right_aligned(at, end, width_[K]);
  }
  template <std::size_t K>
  char* number(char* at, double x) const {
    constexpr PairColumn column = pair_column_table[K];
    static_assert(column.form != TableForm::bperp_digits);
    char* end = at;
    if (std::isfinite(x))
      end = column.form == TableForm::fixed
                ? append_fixed_unsigned_zero(at, at + width_[K], x, column.decimals)
                : std::to_chars(at, at + width_[K], x, std::chars_format::fixed, column.decimals).ptr;
    return right_aligned(at, end, width_[K]);
  }
  char* finish(char* start, char* at) const {
    while (at > start && at[-1] == ' ') --at;
    *at = '\n';
    return at + 1;
  }

 private:
  // The text from at to end moved to the right of a cell width wide.
  static char* right_aligned(char* at, char* end, std::size_t width) {
    const std::size_t length = static_cast<std::size_t>(end - at);
    std::memmove(at + (width - length), at, length);
    std::memset(at, ' ', width - length);
    return at + width;
  }

  std::vector<bool> shown_;
  std::vector<std::size_t> width_;  // per column of pair_column_table
  std::size_t first_shown_ = std::size(pair_column_table);
};

}  // namespace

void write_pairs_table(std::FILE* out, const std::vector<NetworkPoint>&, const PairNetwork& network) {
  // The widths: the headings', the kept texts' of the points in a pair
  // (and the network's, when there is one) and the extremes' of the pairs'
  // own values (NumberExtent).
  const std::size_t n = std::size(pair_column_table);
  std::size_t count = 0;
  std::vector<bool> first(network.points().size()), second(network.points().size());
  std::vector<NumberExtent> extent(n);
  network.for_each([&](const Pair& p) {
    ++count;
    first[p.first] = second[p.second] = true;
    for (std::size_t k = 0; k < n; ++k)
      if (pair_column_table[k].own != PairValue::none) extent[k].add(own_number(p, pair_column_table[k].own));
  });
  std::vector<bool> shown(n);
  std::vector<std::size_t> width(n), shown_width;
  std::vector<TableColumn> columns;
  for (std::size_t k = 0; k < n; ++k) {
    const PairColumn& c = pair_column_table[k];
    shown[k] = in_pairs_table(c, network);
    if (!shown[k]) continue;
    columns.push_back({c.heading, c.align});
    width[k] = std::max(display_width(c.heading), extent[k].width(c));
    if (c.part != PairPart::pair) {
      const std::vector<std::string> texts = kept_texts(
          network, c, [](const PairColumn& column, const Value& v) { return table_text(column, v); });
      for (std::size_t i = 0; i < texts.size(); ++i)
        if (c.part == PairPart::first ? first[i] : c.part == PairPart::second ? second[i] : count > 0)
          width[k] = std::max(width[k], display_width(texts[i]));
    }
    shown_width.push_back(width[k]);
  }

  std::string text(1, '\n');
  text += count_text(count, "pair", "pairs") +
          " (a pair's perpendicular baseline: the second's minus the first's, both "
          "against the reference geometry)\n\n";
  append_table_head(text, columns, shown_width);

  OutputBlock block(out);
  block.put(text);
  const PairCells<TableCells> lines(network, TableCells(shown, width));
  const std::size_t room = lines.room();
  network.for_each([&](const Pair& p) { block.kept_to(lines.write(block.room(room), p)); });
}

void write_pairs_csv(std::FILE* out, const std::vector<NetworkPoint>&, const PairNetwork& network) {
  const PairCells<CsvCells> cells(network, CsvCells{});
  std::string header;
  for (const PairColumn& c : pair_columns()) {
    if (!header.empty()) header += ',';
    header += c.key;
  }
  OutputBlock block(out);
  block.put(header);
  const std::size_t room = cells.room();
  network.for_each([&](const Pair& p) { block.kept_to(cells.write(block.room(room), p)); });
  block.put("\n");
}

void pairs_json(JsonWriter& json, const PairNetwork& network) {
  json.key("pairs");
  json.begin_array();
  const PairCells<JsonCells> cells(network, JsonCells(json));
  std::string object(cells.room(), '\0');
  network.for_each([&](const Pair& p) {
    json.raw(std::string_view(object.data(),
                              static_cast<std::size_t>(cells.write(object.data(), p) - object.data())));
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
