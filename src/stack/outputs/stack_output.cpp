#include "bperp/stack/outputs/stack_output.h"

#include <cmath>
#include <variant>

#include "bperp/numeric/units.h"
#include "bperp/stack/outputs/text_table.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

using units::degrees;
using units::metres_per_km;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Decimals in the table: mm for lengths, ms for times, us for time shifts
// (7.5 mm along the track).
constexpr int length_decimals = 3;
constexpr int time_decimals = 3;
constexpr int shift_decimals = 6;
constexpr int days_decimals = 6;
constexpr int height_of_ambiguity_decimals = 1;
constexpr int angle_decimals = 6;
constexpr int doppler_decimals = 3;
constexpr int slant_range_decimals = 6;
constexpr int wavelength_decimals = 6;

// One value of a secondary's row: none, a text, a whole number or a number.
using Value = std::variant<std::monostate, std::string, long, double>;

Value number(double v) { return std::isfinite(v) ? Value(v) : Value(); }
Value text(const std::optional<UtcTime>& t) { return t ? Value(utc_text(*t)) : Value(); }

// How a column's numbers are shown in the table: fixed decimals, or as
// bperp prints km moved to m (the baselines of the beam geometry).
enum class TableForm { fixed, bperp_digits };

// One row of the secondaries' outputs: a secondary's result at a target
// (the stack's, or a grid point's, which is then given too), with the
// reference's zero-Doppler view of that target (null in the beam geometry).
struct Row {
  const ZeroDopplerReference* zero_doppler;
  const SecondaryResult& s;
  const GridPoint* point = nullptr;
};

// One column of the secondaries: its key (CSV header and JSON member), its
// table heading, how the table shows it, and its value for a usable row.
struct Column {
  const char* key;
  const char* heading;
  Align align;
  int decimals;
  TableForm form;
  Value (*value)(const Row&);
};

double km_to_m(double km) { return km * metres_per_km; }

// The zero-Doppler decomposition of a row, if any.
const ZeroDopplerBaseline* zd(const SecondaryResult& s) { return s.zero_doppler ? &*s.zero_doppler : nullptr; }

const Column columns[] = {
    {"name", "secondary", Align::left, 0, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return Value(s.acquisition().name); }},
    {"kind", "kind", Align::left, 0, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return Value(kind_text(s.acquisition())); }},
    {"date", "date", Align::left, 0, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s;
       return s.acquisition().day ? Value(day_text(s.acquisition().day)) : Value();
     }},
    {"days", "days", Align::right, 0, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return s.days ? Value(*s.days) : Value(); }},
    {"days_exact", "days exact", Align::right, days_decimals, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return s.days_exact ? number(*s.days_exact) : Value(); }},
    {"reference_time", "reference time", Align::left, 0, TableForm::fixed,
     [](const Row& row) { return row.zero_doppler ? text(row.zero_doppler->time) : Value(); }},
    {"secondary_time", "secondary time", Align::left, 0, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return text(s.time); }},
    {"aligned_time_s", "aligned t (s)", Align::right, time_decimals, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return s.alignment ? number(s.alignment->t) : Value(); }},
    {"reference_slant_range_m", "reference range (m)", Align::right, length_decimals, TableForm::fixed,
     [](const Row& row) {
       return row.zero_doppler ? number(km_to_m(row.zero_doppler->view.slant_range)) : Value();
     }},
    {"secondary_slant_range_m", "secondary range (m)", Align::right, length_decimals, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s;
       return zd(s) ? number(km_to_m(zd(s)->secondary_range)) : Value();
     }},
    {"grid_line", "grid line", Align::right, 0, TableForm::fixed,
     [](const Row& row) { return row.point ? Value(static_cast<long>(row.point->line)) : Value(); }},
    {"grid_range", "grid range", Align::right, 0, TableForm::fixed,
     [](const Row& row) { return row.point ? Value(static_cast<long>(row.point->range)) : Value(); }},
    {"grid_x", "grid x (m)", Align::right, length_decimals, TableForm::fixed,
     [](const Row& row) { return row.point && row.point->x ? number(*row.point->x) : Value(); }},
    {"grid_y", "grid y (m)", Align::right, length_decimals, TableForm::fixed,
     [](const Row& row) { return row.point && row.point->y ? number(*row.point->y) : Value(); }},
    {"latitude_deg", "latitude (deg)", Align::right, angle_decimals, TableForm::fixed,
     [](const Row& row) {
       return row.zero_doppler ? number(degrees(row.zero_doppler->view.target_geodetic.latitude)) : Value();
     }},
    {"longitude_deg", "longitude (deg)", Align::right, angle_decimals, TableForm::fixed,
     [](const Row& row) {
       return row.zero_doppler ? number(degrees(row.zero_doppler->view.target_geodetic.longitude)) : Value();
     }},
    {"parallel_m", "parallel (m)", Align::right, length_decimals, TableForm::bperp_digits,
     [](const Row& row) { const SecondaryResult& s = row.s; return number(km_to_m(s.baseline.parallel)); }},
    {"perpendicular_m", "perpendicular (m)", Align::right, length_decimals, TableForm::bperp_digits,
     [](const Row& row) { const SecondaryResult& s = row.s; return number(km_to_m(s.baseline.perpendicular)); }},
    {"along_track_m", "along-track (m)", Align::right, length_decimals, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return number(km_to_m(s.baseline.along_track)); }},
    {"along_track_removed_m", "along-track removed (m)", Align::right, length_decimals, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s;
       return zd(s) ? number(km_to_m(zd(s)->along_track_removed)) : Value();
     }},
    {"length_m", "length (m)", Align::right, length_decimals, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return number(km_to_m(s.baseline.length)); }},
    {"height_of_ambiguity_m", "height of ambiguity (m)", Align::right, height_of_ambiguity_decimals,
     TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return number(km_to_m(s.baseline.height_of_ambiguity)); }},
    {"time_shift_s", "shift (s)", Align::right, shift_decimals, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return s.shift ? number(s.shift->seconds) : Value(); }},
    {"interpolation_error_m", "interpolation (m)", Align::right, length_decimals, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s;
       if (zd(s) && s.acquisition().kind != AcquisitionKind::state_vector)
         return number(km_to_m(zd(s)->interpolation_error));
       if (s.shift) return number(km_to_m(s.shift->error));  // a state vector moved along its orbit
       return s.alignment ? number(km_to_m(s.alignment->interpolation_error)) : Value();
     }},
    {"orbit_source", "orbit", Align::left, 0, TableForm::fixed,
     [](const Row& row) { const SecondaryResult& s = row.s; return Value(orbit_source_text(s.acquisition())); }},
};

// The value of column c for a row: none for an unusable row but its name
// and grid indices, and what was read of its file: the date its header
// gives, and once the file was read whole (the refusal is the geometry's)
// its kind and orbit source; a product recognised keeps its kind too.
Value value_of(const Column& c, const Row& row) {
  const std::string_view key = c.key;
  if (row.s.ok() || key == "name" || key.starts_with("grid_")) return c.value(row);
  const Acquisition& a = row.s.acquisition();
  const bool read = !a.refusal;
  if (key == "date" || (key == "kind" && (read || a.product)) || (key == "orbit_source" && read))
    return c.value(row);
  return {};
}

// Every row of the secondaries' CSV and JSON, in order: each secondary once,
// or with a grid each secondary at every grid point.
template <typename Visit>
void for_each_row(const StackRun& run, Visit visit) {
  if (run.grid.empty()) {
    for (const SecondaryResult& s : run.secondaries) visit(Row{zero_doppler_of(run.view), s, nullptr});
    return;
  }
  for (std::size_t k = 0; k < run.secondaries.size(); ++k)
    for (const GridPoint& p : run.grid) visit(Row{&p.view, p.secondaries[k], &p});
}

// The table's text of a value.
std::string table_text(const Column& c, const Value& v) {
  if (const auto* t = std::get_if<std::string>(&v)) return *t;
  if (const auto* n = std::get_if<long>(&v)) return std::to_string(*n);
  if (const auto* x = std::get_if<double>(&v))
    return c.form == TableForm::bperp_digits ? metres_text_from_km(*x / metres_per_km)
                                             : fixed_text_unsigned_zero(*x, c.decimals);
  return {};
}

// The CSV text of a value: full precision, text cells defused.
std::string csv_text(const Value& v) {
  if (const auto* t = std::get_if<std::string>(&v)) return spreadsheet_text(*t);
  if (const auto* n = std::get_if<long>(&v)) return std::to_string(*n);
  if (const auto* x = std::get_if<double>(&v)) return round_trip_text(*x);
  return {};
}

nlohmann::ordered_json json_value(const Value& v) {
  if (const auto* t = std::get_if<std::string>(&v)) return *t;
  if (const auto* n = std::get_if<long>(&v)) return *n;
  if (const auto* x = std::get_if<double>(&v)) return *x;
  return nullptr;
}

// null for a missing or non-finite value.
nlohmann::ordered_json number_or_null(double value) {
  return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

// "YYYY-MM-DD" of a day number, or null for none.
nlohmann::ordered_json date_or_null(const std::optional<long>& day) {
  return day ? nlohmann::ordered_json(day_text(day)) : nlohmann::ordered_json(nullptr);
}

// The table's columns in each geometry.
const std::vector<std::string> beam_table = {"name", "kind", "date", "days", "aligned_time_s",
                                             "time_shift_s", "parallel_m", "perpendicular_m",
                                             "along_track_m", "length_m", "height_of_ambiguity_m"};
const std::vector<std::string> zero_doppler_table = {
    "name",    "kind",         "date",      "days", "secondary_time", "parallel_m", "perpendicular_m",
    "along_track_removed_m",   "length_m",  "height_of_ambiguity_m", "orbit_source"};

const Column& column(const std::string& key) {
  for (const Column& c : columns)
    if (key == c.key) return c;
  return columns[0];
}

// The reference block of the table in the beam geometry.
std::string beam_reference_block(const StackRun& run) {
  const ReferenceGeometry& g = std::get<ReferenceGeometry>(run.view);
  const std::string date = day_text(run.reference.day);
  std::string lines;
  lines += "reference         " + run.reference.name +
           (date.empty() ? std::string() : "  (" + date + ")") + "\n";
  lines += "geometry          bperp's beam 7 from the state vector (no time, no range)\n";
  lines += "slant range       " + fixed_text(g.slant_range, slant_range_decimals) + " km\n";
  lines += "scene point       latitude " + fixed_text(degrees(g.latitude), angle_decimals) +
           " deg, longitude " + fixed_text(degrees(g.longitude), angle_decimals) + " deg, height " +
           fixed_text_unsigned_zero(g.height * metres_per_km, length_decimals) + " m\n";
  lines += "incidence angle   " + fixed_text(degrees(g.incidence), angle_decimals) + " deg\n";
  lines += "off-nadir angle   " + fixed_text(degrees(g.off_nadir), angle_decimals) + " deg\n";
  lines += "Doppler centroid  " + fixed_text(g.doppler_centroid, doppler_decimals) + " Hz\n";
  lines += "Doppler rate      " + fixed_text(g.doppler_rate, doppler_decimals) + " Hz/s\n";
  lines += "wavelength        " + fixed_text(g.wavelength * metres_per_km, wavelength_decimals) + " m\n\n";
  return lines;
}

// What the reference product is, in one line ("Sentinel-1 annotation, S1A
// IW2 VV, absolute orbit 58630 (track 108), ASCENDING").
std::string product_line(const StackRun& run) {
  const Acquisition& a = run.reference;
  const ZeroDopplerReference& z = *zero_doppler_of(run.view);
  if (!a.product) return kind_text(a) + " (UTC of its header date)";
  const ProductInfo& p = *a.product;
  std::string line = p.format;
  std::string what = p.mission;
  for (const std::string* part : {&p.swath, &p.polarisation})
    if (!part->empty()) what += (what.empty() ? "" : " ") + *part;
  if (!what.empty()) line += ", " + what;
  if (p.absolute_orbit) {
    line += ", absolute orbit " + std::to_string(*p.absolute_orbit);
    if (z.relative_orbit) line += " (track " + std::to_string(*z.relative_orbit) + ")";
  }
  if (!p.pass.empty()) line += ", " + p.pass;
  return line;
}

// The reference block of the table in the zero-Doppler geometry.
std::string zero_doppler_reference_block(const StackRun& run) {
  const ZeroDopplerReference& z = *zero_doppler_of(run.view);
  const ZeroDopplerGeometry& v = z.view;
  const std::string date = day_text(run.reference.day);
  std::string lines;
  lines += "reference         " + run.reference.name + (date.empty() ? std::string() : "  (" + date + ")") + "\n";
  lines += "product           " + product_line(run) + "\n";
  lines += "target            latitude " + fixed_text(degrees(v.target_geodetic.latitude), angle_decimals) +
           " deg, longitude " + fixed_text(degrees(v.target_geodetic.longitude), angle_decimals) +
           " deg, height " + fixed_text_unsigned_zero(v.target_geodetic.height * metres_per_km, length_decimals) +
           " m (WGS84)\n";
  lines += "zero-Doppler time " + (z.time ? utc_text(*z.time) : fixed_text(v.t, time_decimals) + " s") + "\n";
  lines += "slant range       " + fixed_text(v.slant_range, slant_range_decimals) + " km\n";
  lines += "look angle        " + fixed_text(degrees(v.angles.look_angle), angle_decimals) + " deg (" +
           (z.look == LookSide::right ? "right" : "left") + " looking)\n";
  lines += "incidence angle   " + fixed_text(degrees(v.angles.incidence), angle_decimals) + " deg\n";
  lines += "heading           " + fixed_text(degrees(v.angles.heading), angle_decimals) + " deg\n";
  lines += "wavelength        " + fixed_text(z.wavelength * metres_per_km, wavelength_decimals) + " m (" +
           z.wavelength_source + ")\n";
  lines += "orbit             " + escaped(z.orbit_source) + "\n";
  if (!run.grid.empty())
    lines += "grid              " + std::to_string(run.grid.back().line + 1) + " x " +
             std::to_string(run.grid.back().range + 1) +
             " targets, lines x ranges, first to last line and near to far range (the table: "
             "the values at the target above and their spread over the grid)\n";
  lines += "\n";
  return lines;
}

}  // namespace

std::string orbit_source_text(const Acquisition& a) {
  if (a.product) return escaped(a.product->orbit.source);
  return a.kind == AcquisitionKind::orbit ? "orbit file" : std::string();
}

std::vector<std::string> stack_csv_header() {
  std::vector<std::string> header;
  for (const Column& c : columns) header.push_back(c.key);
  header.push_back("error");
  return header;
}

void write_stack_table(std::FILE* out, const StackRun& run) {
  const bool beam = zero_doppler_of(run.view) == nullptr;
  std::fputs((beam ? beam_reference_block(run) : zero_doppler_reference_block(run)).c_str(), out);

  const std::vector<std::string>& keys = beam ? beam_table : zero_doppler_table;
  std::vector<TableColumn> headings;
  for (const std::string& key : keys) headings.push_back({column(key).heading, column(key).align});
  // With a grid, the spread of the baselines across it.
  const bool grid = !run.grid.empty();
  if (grid)
    for (const char* h : {"parallel min (m)", "parallel max (m)", "perpendicular min (m)", "perpendicular max (m)"})
      headings.push_back({h, Align::right});
  // The note column only when there is something to note.
  if (!run.all_ok()) headings.push_back({"note", Align::left});
  std::vector<std::vector<std::string>> rows;
  rows.reserve(run.secondaries.size());
  for (const SecondaryResult& s : run.secondaries) {
    std::vector<std::string> row;
    for (const std::string& key : keys) {
      const Column& c = column(key);
      Value v = value_of(c, Row{zero_doppler_of(run.view), s, nullptr});
      // Zero-Doppler baselines are metres of their own, not bperp's km digits.
      Column shown = c;
      if (!beam) shown.form = TableForm::fixed;
      row.push_back(table_text(shown, v));
    }
    if (grid) {
      const std::size_t k = static_cast<std::size_t>(&s - run.secondaries.data());
      double lo[2] = {nan, nan}, hi[2] = {nan, nan};
      for (const GridPoint& p : run.grid) {
        const SecondaryResult& g = p.secondaries[k];
        if (!g.ok()) continue;
        const double v[2] = {g.baseline.parallel, g.baseline.perpendicular};
        for (int c = 0; c < 2; ++c) {
          lo[c] = std::isnan(lo[c]) ? v[c] : std::fmin(lo[c], v[c]);
          hi[c] = std::isnan(hi[c]) ? v[c] : std::fmax(hi[c], v[c]);
        }
      }
      for (const double v : {lo[0], hi[0], lo[1], hi[1]})
        row.push_back(std::isfinite(v) ? fixed_text_unsigned_zero(v * metres_per_km, length_decimals) : std::string());
    }
    const std::size_t failed = grid ? run.grid_failures[&s - run.secondaries.data()].count : 0;
    if (!s.ok()) {
      row.push_back("error: " + s.refusal->text);
    } else if (failed > 0) {
      // The spread above is of the points that have a baseline only.
      row.push_back("spread over " + std::to_string(run.grid.size() - failed) + " of " +
                    std::to_string(run.grid.size()) + " points");
    }
    rows.push_back(std::move(row));
  }
  write_text_table(out, headings, rows);
}

void write_stack_csv(std::FILE* out, const StackRun& run) {
  write_csv_record(out, stack_csv_header());
  std::vector<std::string> record;
  for_each_row(run, [&](const Row& row) {
    record.clear();
    for (const Column& c : columns) record.push_back(csv_text(value_of(c, row)));
    record.push_back(row.s.ok() ? std::string() : spreadsheet_text(row.s.refusal->text));
    write_csv_record(out, record);
  });
}

namespace {

nlohmann::ordered_json beam_reference_json(const StackRun& run) {
  const ReferenceGeometry& g = std::get<ReferenceGeometry>(run.view);
  return {{"name", run.reference.name},
          {"date", date_or_null(run.reference.day)},
          {"geometry", "beam"},
          {"slant_range_km", number_or_null(g.slant_range)},
          {"scene_point",
           {{"latitude_deg", number_or_null(degrees(g.latitude))},
            {"longitude_deg", number_or_null(degrees(g.longitude))},
            {"height_m", number_or_null(g.height * metres_per_km)},
            {"x_km", number_or_null(g.scene_point[0])},
            {"y_km", number_or_null(g.scene_point[1])},
            {"z_km", number_or_null(g.scene_point[2])}}},
          {"incidence_deg", number_or_null(degrees(g.incidence))},
          {"off_nadir_deg", number_or_null(degrees(g.off_nadir))},
          {"doppler_centroid_hz", number_or_null(g.doppler_centroid)},
          {"doppler_rate_hz_per_s", number_or_null(g.doppler_rate)},
          {"wavelength_m", number_or_null(g.wavelength * metres_per_km)}};
}

nlohmann::ordered_json zero_doppler_reference_json(const StackRun& run) {
  const ZeroDopplerReference& z = *zero_doppler_of(run.view);
  const ZeroDopplerGeometry& v = z.view;
  const Acquisition& a = run.reference;
  const auto text_or_null = [](const std::string& t) {
    return t.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(t);
  };
  const ProductInfo* p = a.product ? &*a.product : nullptr;
  return {{"name", a.name},
          {"date", date_or_null(a.day)},
          {"geometry", "zero-doppler"},
          {"kind", kind_text(a)},
          {"mission", p ? text_or_null(p->mission) : nullptr},
          {"absolute_orbit", p && p->absolute_orbit ? nlohmann::ordered_json(*p->absolute_orbit) : nullptr},
          {"relative_orbit", z.relative_orbit ? nlohmann::ordered_json(*z.relative_orbit) : nullptr},
          {"pass", p ? text_or_null(p->pass) : nullptr},
          {"swath", p ? text_or_null(p->swath) : nullptr},
          {"polarisation", p ? text_or_null(p->polarisation) : nullptr},
          {"reference_time", z.time ? nlohmann::ordered_json(utc_text(*z.time)) : nullptr},
          {"latitude_deg", number_or_null(degrees(v.target_geodetic.latitude))},
          {"longitude_deg", number_or_null(degrees(v.target_geodetic.longitude))},
          {"height_m", number_or_null(v.target_geodetic.height * metres_per_km)},
          {"x_km", number_or_null(v.target[0])},
          {"y_km", number_or_null(v.target[1])},
          {"z_km", number_or_null(v.target[2])},
          {"reference_slant_range_m", number_or_null(v.slant_range * metres_per_km)},
          {"look_side", z.look == LookSide::right ? "right" : "left"},
          {"look_angle_deg", number_or_null(degrees(v.angles.look_angle))},
          {"incidence_deg", number_or_null(degrees(v.angles.incidence))},
          {"heading_deg", number_or_null(degrees(v.angles.heading))},
          {"wavelength_m", number_or_null(z.wavelength * metres_per_km)},
          {"wavelength_source", z.wavelength_source},
          {"orbit_source", escaped(z.orbit_source)},
          {"interpolation_error_m", number_or_null(v.interpolation_error * metres_per_km)}};
}

}  // namespace

nlohmann::ordered_json stack_json(const StackRun& run) {
  nlohmann::ordered_json reference =
      zero_doppler_of(run.view) ? zero_doppler_reference_json(run) : beam_reference_json(run);
  nlohmann::ordered_json secondaries = nlohmann::ordered_json::array();
  for_each_row(run, [&](const Row& r) {
    nlohmann::ordered_json row = nlohmann::ordered_json::object();
    for (const Column& c : columns) row[c.key] = json_value(value_of(c, r));
    row["error"] = r.s.ok() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(r.s.refusal->text);
    row["error_kind"] = r.s.ok() ? nlohmann::ordered_json(nullptr)
                                 : nlohmann::ordered_json(std::string(refusal_kind_name(r.s.refusal->kind)));
    secondaries.push_back(std::move(row));
  });
  return {{"reference", reference}, {"secondaries", secondaries}};
}

void write_json(std::FILE* out, const nlohmann::ordered_json& document) {
  const std::string text =
      document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  std::fputs(text.c_str(), out);
}

}  // namespace bperp::stack
