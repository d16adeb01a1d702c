// The records of the stack's outputs, each declared once as a table of
// columns from which the aligned table, the CSV and the JSON are all made:
// the secondaries (one record per secondary, or per secondary and grid
// point) and the pairs of the network.
#pragma once

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <variant>

#include "bperp/stack/geometry/convention.h"
#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/outputs/json_writer.h"
#include "bperp/stack/outputs/text_table.h"

namespace bperp::stack {

// Decimals the tables show: mm for lengths, ms for times, micro-degrees
// for angles.
inline constexpr int length_decimals = 3;
inline constexpr int time_decimals = 3;
inline constexpr int angle_decimals = 6;
inline constexpr int height_of_ambiguity_decimals = 1;
inline constexpr int coherence_decimals = 3;

// What a column holds.
enum class ValueType {
  text,      // a name, a kind, a source, a reason
  date,      // "YYYY-MM-DD"
  utc_time,  // "YYYY-MM-DDThh:mm:ss.ssssssZ"
  whole,     // a whole number: days, grid indices
  number,    // a double, in the column's unit
  boolean,   // true or false
};

// How the table shows a column's numbers.
enum class TableForm {
  fixed,              // with its decimals, "0.000" for what rounds to zero
  fixed_signed_zero,  // with its decimals, "-0.0" as it rounds
  bperp_digits,       // a length in m with the digits bperp prints of it in km
};

// One value of a record: none, a text, a whole number, a number or a truth
// value. Numbers are finite: a non-finite one is none.
using Value = std::variant<std::monostate, std::string, long, double, bool>;

// One column of a record: its key (CSV header field and JSON member), its
// table heading, what it holds and in which unit ("m", "s", "deg", "days";
// "" for texts, dates, times and counts), how the table shows it, its
// value in a record, and whether the CSV carries it (a column added to the
// JSON alone leaves the CSV's layout as spreadsheets and scripts know it).
template <typename Record>
struct RecordColumn {
  const char* key;
  const char* heading;
  ValueType type;
  const char* unit;
  Align align;
  int decimals;
  TableForm form;
  Value (*value)(const Record&);
  bool in_csv = true;
};

// A value as the table shows it ("" for none).
std::string table_text(const Value& value, TableForm form, int decimals);
template <typename Record>
std::string table_text(const RecordColumn<Record>& column, const Value& value) {
  return table_text(value, column.form, column.decimals);
}

// A value as a CSV field, appended to line: numbers at full precision (the
// shortest text that reads back exactly), texts as a spreadsheet will not
// run them (spreadsheet_text) and quoted where they must be (csv_field),
// "true" or "false", nothing for none.
void append_csv_field(std::string& line, const Value& value);

// A value as a JSON value: a string, a whole number, a number with the
// digits given, true or false, null for none.
void json_value(JsonWriter& json, const Value& value, Digits digits);

// ---- The secondaries ----

// A record of the secondaries: a secondary's result at a target (the
// stack's, or a grid point's, which is then given too), with the
// reference's zero-Doppler view of that target (null in the beam geometry),
// and the signs that put its parallel and perpendicular baselines (and its
// height of ambiguity) into the convention shown.
struct Row {
  const ZeroDopplerReference* zero_doppler;
  const SecondaryResult& s;
  const GridPoint* point = nullptr;
  ConventionSigns signs{};
};
using Column = RecordColumn<Row>;

// The secondaries' columns in the order of the CSV and the JSON: the same
// in both geometries (none where a geometry has no such value), "error"
// and the JSON's "error_kind" last. The JSON alone also has "burst_id", the
// burst of a product's zero-Doppler time of the target where the product
// gives burst IDs. Which of them the table shows depends on the geometry.
std::span<const Column> secondary_columns();

// The column of a key; nullptr for none.
const Column* secondary_column(std::string_view key);

// The value of column c in a row: for an unusable row none but its name,
// grid indices, whether its target lies outside the image, and error, and
// what was read of its file: the date its header gives, and once the file
// was read whole (the refusal is the geometry's) its kind, orbit and
// wavelength source; a product recognised keeps its kind too.
Value value_of(const Column& c, const Row& row);

// Where an acquisition's orbit came from: a product's source ("annotation",
// an orbit file's name, an HDF5 group), escaped as names are
// (support/escape.h); "orbit file", or "" for a state vector.
std::string orbit_source_text(const Acquisition& acquisition);

// ---- The pairs ----

// A record of the pairs: a pair of the network.
struct PairRow {
  const PairNetwork& network;
  const Pair& pair;
};

// What a pair column's value depends on: one of the pair's points (the
// writers then work it out once per point, as the value in the pair of that
// point with itself), the network alone (worked out once), or the pair.
enum class PairPart { first, second, network, pair };

// Which of the pair's own values a column is, for the writers that read it
// straight from the Pair rather than through a Value (none: a column of a
// point or of the network).
enum class PairValue { none, days, perpendicular, height_of_ambiguity, coherence };

struct PairColumn : RecordColumn<PairRow> {
  PairPart part;
  PairValue own = PairValue::none;
};

// The pair's own value v as value() gives it: the days (none without
// dates), or a number (none when not finite).
template <PairValue v>
Value pair_value(const PairRow& row) {
  const Pair& p = row.pair;
  if constexpr (v == PairValue::days) return p.days ? Value(*p.days) : Value();
  const double x = v == PairValue::perpendicular         ? p.perpendicular
                   : v == PairValue::height_of_ambiguity ? p.height_of_ambiguity
                                                         : p.coherence;
  return std::isfinite(x) ? Value(x) : Value();
}

// "first", "second", "network", "pair": a part's name where programs read
// it (the Python module's columns, the network page's data).
const char* pair_part_name(PairPart part);

// A pair's point's name and date, the network's critical baseline (m).
Value point_name(const NetworkPoint& point);
Value point_date(const NetworkPoint& point);
Value critical_baseline_value(const PairNetwork& network);

// The pairs' columns in the order of the CSV and the JSON. The table shows
// them but critical_baseline_m, and coherence_model only when the model has
// a critical baseline. Declared here, where the writers can lay out a row
// from it as they are compiled.
inline constexpr PairColumn pair_column_table[] = {
    {{"first", "first", ValueType::text, "", Align::left, 0, TableForm::fixed,
      [](const PairRow& row) { return point_name(row.network.points()[row.pair.first]); }},
     PairPart::first},
    {{"second", "second", ValueType::text, "", Align::left, 0, TableForm::fixed,
      [](const PairRow& row) { return point_name(row.network.points()[row.pair.second]); }},
     PairPart::second},
    {{"first_date", "first date", ValueType::date, "", Align::left, 0, TableForm::fixed,
      [](const PairRow& row) { return point_date(row.network.points()[row.pair.first]); }},
     PairPart::first},
    {{"second_date", "second date", ValueType::date, "", Align::left, 0, TableForm::fixed,
      [](const PairRow& row) { return point_date(row.network.points()[row.pair.second]); }},
     PairPart::second},
    {{"days", "days", ValueType::whole, "days", Align::right, 0, TableForm::fixed,
      pair_value<PairValue::days>},
     PairPart::pair,
     PairValue::days},
    {{"perpendicular_m", "perpendicular (m)", ValueType::number, "m", Align::right, length_decimals,
      TableForm::fixed, pair_value<PairValue::perpendicular>},
     PairPart::pair,
     PairValue::perpendicular},
    {{"critical_baseline_m", "critical baseline (m)", ValueType::number, "m", Align::right, length_decimals,
      TableForm::fixed, [](const PairRow& row) { return critical_baseline_value(row.network); }},
     PairPart::network},
    {{"height_of_ambiguity_m", "height of ambiguity (m)", ValueType::number, "m", Align::right,
      height_of_ambiguity_decimals, TableForm::fixed_signed_zero, pair_value<PairValue::height_of_ambiguity>},
     PairPart::pair,
     PairValue::height_of_ambiguity},
    {{"coherence_model", "coherence", ValueType::number, "", Align::right, coherence_decimals,
      TableForm::fixed_signed_zero, pair_value<PairValue::coherence>},
     PairPart::pair,
     PairValue::coherence},
};
// Every column of the pair itself is one of its own values.
static_assert(std::ranges::all_of(pair_column_table, [](const PairColumn& c) {
  return c.part != PairPart::pair || c.own != PairValue::none;
}));

std::span<const PairColumn> pair_columns();

// Whether the pairs' table shows column c for the network.
bool in_pairs_table(const PairColumn& c, const PairNetwork& network);

}  // namespace bperp::stack
