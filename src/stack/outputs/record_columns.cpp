#include "bperp/stack/outputs/record_columns.h"

#include <charconv>
#include <cmath>

#include "bperp/numeric/units.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

using units::degrees;
using units::metres_per_km;

// Decimals in the tables besides those of lengths, times and angles: us for
// time shifts (7.5 mm along the track).
constexpr int shift_decimals = 6;
constexpr int days_decimals = 6;

// The values of numbers, times, dates and counts; none for a number that
// is not finite or what is not there.
Value finite(double v) { return std::isfinite(v) ? Value(v) : Value(); }
Value utc(const std::optional<UtcTime>& t) { return t ? Value(utc_text(*t)) : Value(); }
Value iso_date(const std::optional<long>& day) { return day ? Value(day_text(day)) : Value(); }
Value whole_of(const std::optional<long>& n) { return n ? Value(*n) : Value(); }

double km_to_m(double km) { return km * metres_per_km; }

// The zero-Doppler decomposition of a row, if any.
const ZeroDopplerBaseline* zd(const SecondaryResult& s) { return s.zero_doppler ? &*s.zero_doppler : nullptr; }


using enum ValueType;
constexpr Align left = Align::left;
constexpr Align right = Align::right;
constexpr TableForm fixed = TableForm::fixed;

const Column columns[] = {
    {"name", "secondary", text, "", left, 0, fixed, [](const Row& row) { return Value(row.s.acquisition().name); }},
    {"kind", "kind", text, "", left, 0, fixed, [](const Row& row) { return Value(kind_text(row.s.acquisition())); }},
    {"date", "date", date, "", left, 0, fixed, [](const Row& row) { return iso_date(row.s.acquisition().day); }},
    {"days", "days", whole, "days", right, 0, fixed, [](const Row& row) { return whole_of(row.s.days); }},
    {"days_exact", "days exact", number, "days", right, days_decimals, fixed,
     [](const Row& row) { return row.s.days_exact ? finite(*row.s.days_exact) : Value(); }},
    {"reference_time", "reference time", utc_time, "", left, 0, fixed,
     [](const Row& row) { return row.zero_doppler ? utc(row.zero_doppler->time) : Value(); }},
    {"secondary_time", "secondary time", utc_time, "", left, 0, fixed, [](const Row& row) { return utc(row.s.time); }},
    {"aligned_time_s", "aligned t (s)", number, "s", right, time_decimals, fixed,
     [](const Row& row) { return row.s.alignment ? finite(row.s.alignment->t) : Value(); }},
    {"reference_slant_range_m", "reference range (m)", number, "m", right, length_decimals, fixed,
     [](const Row& row) {
       const ZeroDopplerReference* z = row.zero_doppler;
       return z ? finite(km_to_m(z->view.slant_range)) : Value();
     }},
    {"secondary_slant_range_m", "secondary range (m)", number, "m", right, length_decimals, fixed,
     [](const Row& row) { return zd(row.s) ? finite(km_to_m(zd(row.s)->secondary_range)) : Value(); }},
    {"grid_line", "grid line", whole, "", right, 0, fixed,
     [](const Row& row) { return row.point ? Value(static_cast<long>(row.point->line)) : Value(); }},
    {"grid_range", "grid range", whole, "", right, 0, fixed,
     [](const Row& row) { return row.point ? Value(static_cast<long>(row.point->range)) : Value(); }},
    {"grid_x", "grid x (m)", number, "m", right, length_decimals, fixed,
     [](const Row& row) { return row.point && row.point->x ? finite(*row.point->x) : Value(); }},
    {"grid_y", "grid y (m)", number, "m", right, length_decimals, fixed,
     [](const Row& row) { return row.point && row.point->y ? finite(*row.point->y) : Value(); }},
    {"latitude_deg", "latitude (deg)", number, "deg", right, angle_decimals, fixed,
     [](const Row& row) {
       const ZeroDopplerReference* z = row.zero_doppler;
       return z ? finite(degrees(z->view.target_geodetic.latitude)) : Value();
     }},
    {"longitude_deg", "longitude (deg)", number, "deg", right, angle_decimals, fixed,
     [](const Row& row) {
       const ZeroDopplerReference* z = row.zero_doppler;
       return z ? finite(degrees(z->view.target_geodetic.longitude)) : Value();
     }},
    {"parallel_m", "parallel (m)", number, "m", right, length_decimals, TableForm::bperp_digits,
     [](const Row& row) { return finite(row.signs.parallel * km_to_m(row.s.baseline.parallel)); }},
    {"perpendicular_m", "perpendicular (m)", number, "m", right, length_decimals, TableForm::bperp_digits,
     [](const Row& row) { return finite(row.signs.perpendicular * km_to_m(row.s.baseline.perpendicular)); }},
    {"along_track_m", "along-track (m)", number, "m", right, length_decimals, fixed,
     [](const Row& row) { return finite(km_to_m(row.s.baseline.along_track)); }},
    {"along_track_removed_m", "along-track removed (m)", number, "m", right, length_decimals, fixed,
     [](const Row& row) { return zd(row.s) ? finite(km_to_m(zd(row.s)->along_track_removed)) : Value(); }},
    {"length_m", "length (m)", number, "m", right, length_decimals, fixed,
     [](const Row& row) { return finite(km_to_m(row.s.baseline.length)); }},
    {"height_of_ambiguity_m", "height of ambiguity (m)", number, "m", right, height_of_ambiguity_decimals, fixed,
     [](const Row& row) { return finite(row.signs.perpendicular * km_to_m(row.s.baseline.height_of_ambiguity)); }},
    {"time_shift_s", "shift (s)", number, "s", right, shift_decimals, fixed,
     [](const Row& row) { return row.s.shift ? finite(row.s.shift->seconds) : Value(); }},
    {"interpolation_error_m", "interpolation (m)", number, "m", right, length_decimals, fixed,
     [](const Row& row) {
       const SecondaryResult& s = row.s;
       if (zd(s) && s.acquisition().kind != AcquisitionKind::state_vector)
         return finite(km_to_m(zd(s)->interpolation_error));
       if (s.shift) return finite(km_to_m(s.shift->error));  // a state vector moved along its orbit
       return s.alignment ? finite(km_to_m(s.alignment->interpolation_error)) : Value();
     }},
    {"orbit_source", "orbit", text, "", left, 0, fixed,
     [](const Row& row) { return Value(orbit_source_text(row.s.acquisition())); }},
    {"outside_image", "outside image", boolean, "", left, 0, fixed,
     [](const Row& row) {
       const ZeroDopplerReference* z = row.zero_doppler;
       return z && z->outside_image ? Value(*z->outside_image) : Value();
     }},
    {"wavelength_source", "wavelength", text, "", left, 0, fixed,
     [](const Row& row) { return row.s.wavelength_source.empty() ? Value() : Value(row.s.wavelength_source); }},
    {"burst_id", "burst", text, "", left, 0, fixed,
     [](const Row& row) {
       const Acquisition& a = row.s.acquisition();
       const std::string id = a.product && row.s.time ? burst_id_at(*a.product, *row.s.time) : std::string();
       return id.empty() ? Value() : Value(id);
     },
     false},
    {"error", "error", text, "", left, 0, fixed,
     [](const Row& row) { return row.s.ok() ? Value() : Value(row.s.refusal->text); }},
    {"error_kind", "error kind", text, "", left, 0, fixed,
     [](const Row& row) {
       return row.s.ok() ? Value() : Value(std::string(refusal_kind_name(row.s.refusal->kind)));
     },
     false},
};

}  // namespace

std::string table_text(const Value& value, TableForm form, int decimals) {
  if (const auto* t = std::get_if<std::string>(&value)) return *t;
  if (const auto* b = std::get_if<bool>(&value)) return *b ? "yes" : "no";
  if (const auto* n = std::get_if<long>(&value)) return std::to_string(*n);
  if (const auto* x = std::get_if<double>(&value)) {
    switch (form) {
      case TableForm::fixed: return fixed_text_unsigned_zero(*x, decimals);
      case TableForm::fixed_signed_zero: return fixed_text(*x, decimals);
      case TableForm::bperp_digits: return metres_text_from_km(*x / metres_per_km);
    }
  }
  return {};
}

void append_csv_field(std::string& line, const Value& value) {
  char digits[shortest_room];
  const char* end = digits;
  if (const auto* t = std::get_if<std::string>(&value)) line += csv_field(spreadsheet_text(*t));
  else if (const auto* n = std::get_if<long>(&value)) end = std::to_chars(digits, digits + sizeof digits, *n).ptr;
  else if (const auto* x = std::get_if<double>(&value)) end = append_shortest(digits, *x);
  else if (const auto* b = std::get_if<bool>(&value)) line += *b ? "true" : "false";
  line.append(digits, static_cast<std::size_t>(end - digits));
}

void json_value(JsonWriter& json, const Value& value, Digits digits) {
  if (const auto* t = std::get_if<std::string>(&value)) json.string(*t);
  else if (const auto* n = std::get_if<long>(&value)) json.whole(*n);
  else if (const auto* x = std::get_if<double>(&value)) json.number(*x, digits);
  else if (const auto* b = std::get_if<bool>(&value)) json.boolean(*b);
  else json.null();
}

std::span<const Column> secondary_columns() { return columns; }

const Column* secondary_column(std::string_view key) {
  for (const Column& c : columns)
    if (key == c.key) return &c;
  return nullptr;
}

Value value_of(const Column& c, const Row& row) {
  const std::string_view key = c.key;
  if (row.s.ok() || key == "name" || key.starts_with("error") || key.starts_with("grid_") || key == "outside_image")
    return c.value(row);
  const Acquisition& a = row.s.acquisition();
  const bool read = !a.refusal;
  if (key == "date" || (key == "kind" && (read || a.product)) ||
      ((key == "orbit_source" || key == "wavelength_source") && read))
    return c.value(row);
  return {};
}

std::string orbit_source_text(const Acquisition& a) {
  if (a.product) return escaped(a.product->orbit.source);
  return a.kind == AcquisitionKind::orbit ? "orbit file" : std::string();
}

const char* pair_part_name(PairPart part) {
  switch (part) {
    case PairPart::first: return "first";
    case PairPart::second: return "second";
    case PairPart::network: return "network";
    case PairPart::pair: return "pair";
  }
  return "pair";
}

std::span<const PairColumn> pair_columns() { return pair_column_table; }

Value point_name(const NetworkPoint& point) { return Value(point.name); }
Value point_date(const NetworkPoint& point) { return iso_date(point.day); }
Value critical_baseline_value(const PairNetwork& network) {
  return finite(network.model().critical_baseline());
}

bool in_pairs_table(const PairColumn& c, const PairNetwork& network) {
  const std::string_view key = c.key;
  if (key == "critical_baseline_m") return false;
  return key != "coherence_model" || std::isfinite(network.model().critical_baseline());
}

}  // namespace bperp::stack
