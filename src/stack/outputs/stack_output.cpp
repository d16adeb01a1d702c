#include "bperp/stack/outputs/stack_output.h"

#include <algorithm>
#include <cmath>

#include "bperp/numeric/units.h"
#include "bperp/stack/outputs/record_columns.h"
#include "bperp/stack/outputs/text_table.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

using units::degrees;
using units::metres_per_km;

// Decimals in the reference block besides those of lengths, times and
// angles (record_columns.h).
constexpr int doppler_decimals = 3;
constexpr int slant_range_decimals = 6;
constexpr int wavelength_decimals = 6;

// Every row of the secondaries' CSV and JSON, in order: each secondary once,
// or with a grid each secondary at every grid point, worked out as it comes
// (tallied into stream's tally, its rows_written called after the last,
// when stream is given).
template <typename Visit>
void for_each_row(const StackRun& run, Convention convention, const GridStream* stream, Visit visit) {
  const ConventionSigns signs = convention_signs(convention, look_side(run.view));
  if (!run.grid()) {
    for (const SecondaryResult& s : run.secondaries) visit(Row{zero_doppler_of(run.view), s, nullptr, signs});
  } else {
    GridTally* tally = stream != nullptr ? stream->tally : nullptr;
    for_each_grid_result(run, [&](const GridPoint& p, std::size_t k, const SecondaryResult& r) {
      if (tally != nullptr) tally->add(k, r);
      visit(Row{&p.view, r, &p, signs});
    });
  }
  if (stream != nullptr && stream->rows_written) stream->rows_written();
}

// The least and greatest of the values sign * [lo, hi] (NaN stays NaN).
std::pair<double, double> signed_span(double lo, double hi, double sign) {
  return sign < 0 ? std::pair{-hi, -lo} : std::pair{lo, hi};
}

// Whether two of the usable acquisitions (the reference among them) are of
// one date: different passes, whose days alone do not order them.
bool shared_date(const StackRun& run) {
  std::vector<long> days;
  if (run.reference.day) days.push_back(*run.reference.day);
  for (const SecondaryResult& s : run.secondaries)
    if (s.ok() && s.acquisition().day) days.push_back(*s.acquisition().day);
  std::sort(days.begin(), days.end());
  return std::adjacent_find(days.begin(), days.end()) != days.end();
}

// The line that names a convention other than this tool's own in the
// table's reference block; "" for bperp's.
std::string convention_line(Convention convention) {
  if (convention == Convention::bperp) return {};
  return "convention        " + convention_text(convention) + "\n";
}

// How the table shows where the reference's wavelength comes from.
std::string wavelength_source_text(const std::string& source) {
  if (source == "option") return "--wavelength";
  if (source == "sensor") return "--sensor";
  return source;
}

// The table's columns in each geometry.
const std::vector<std::string> beam_table = {"name", "kind", "date", "days", "aligned_time_s",
                                             "time_shift_s", "parallel_m", "perpendicular_m",
                                             "along_track_m", "length_m", "height_of_ambiguity_m"};
const std::vector<std::string> zero_doppler_table = {
    "name",    "kind",         "date",      "days", "secondary_time", "parallel_m", "perpendicular_m",
    "along_track_removed_m",   "length_m",  "height_of_ambiguity_m", "orbit_source"};

const Column& column(const std::string& key) { return *secondary_column(key); }

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
  if (!a.product) return kind_text(a) + " (UTC of its header date)";
  const ProductInfo& p = *a.product;
  std::string line = p.format;
  std::string what = p.mission;
  for (const std::string* part : {&p.product_type, &p.swath, &p.polarisation})
    if (!part->empty()) what += (what.empty() ? "" : " ") + *part;
  if (!what.empty()) line += ", " + what;
  const std::optional<long>& track = zero_doppler_of(run.view)->relative_orbit;
  if (p.absolute_orbit) {
    line += ", absolute orbit " + std::to_string(*p.absolute_orbit);
    if (track) line += " (track " + std::to_string(*track) + ")";
  } else if (track) {
    line += ", track " + std::to_string(*track);
  }
  if (p.frame) line += ", frame " + std::to_string(*p.frame);
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
  if (const std::string burst = reference_burst_id(run); !burst.empty()) lines += "burst             " + burst + "\n";
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
           wavelength_source_text(z.wavelength_source) + ")\n";
  lines += "orbit             " + escaped(z.orbit_source) + "\n";
  if (run.grid())
    lines += "grid              " + std::to_string(run.grid()->lines) + " x " + std::to_string(run.grid()->ranges) +
             " targets, lines x ranges, first to last line and near to far range (the table: "
             "the values at the target above and their spread over the grid)\n";
  lines += "\n";
  return lines;
}

}  // namespace

std::vector<std::string> stack_csv_header() {
  std::vector<std::string> header;
  for (const Column& c : secondary_columns())
    if (c.in_csv) header.push_back(c.key);
  return header;
}

void write_stack_table(std::FILE* out, const StackRun& run, Convention convention) {
  const bool beam = zero_doppler_of(run.view) == nullptr;
  std::string block = beam ? beam_reference_block(run) : zero_doppler_reference_block(run);
  block.insert(block.size() - 1, convention_line(convention));  // before the block's empty line
  // A reference alone: its geometry, and no table of secondaries.
  if (run.reference_alone) block.pop_back();
  std::fputs(block.c_str(), out);
  if (run.reference_alone) return;

  std::vector<std::string> keys = beam ? beam_table : zero_doppler_table;
  // Passes of one date: their days alone do not tell them apart (where the
  // geometry has their times).
  if (!beam && shared_date(run)) keys.insert(std::find(keys.begin(), keys.end(), "days") + 1, "days_exact");
  const ConventionSigns signs = convention_signs(convention, look_side(run.view));
  std::vector<const Column*> shown;
  for (const std::string& key : keys) shown.push_back(&column(key));
  std::vector<TableColumn> headings;
  for (const Column* c : shown) headings.push_back({c->heading, c->align});
  // With a grid, the spread of the baselines across it.
  const bool grid = run.grid().has_value();
  if (grid)
    for (const char* h : {"parallel min (m)", "parallel max (m)", "perpendicular min (m)", "perpendicular max (m)"})
      headings.push_back({h, Align::right});
  // The note column only when there is something to note.
  if (!run.all_ok()) headings.push_back({"note", Align::left});
  std::vector<std::vector<std::string>> rows;
  rows.reserve(run.secondaries.size());
  for (const SecondaryResult& s : run.secondaries) {
    std::vector<std::string> row;
    row.reserve(headings.size());
    for (const Column* c : shown) {
      Value value = value_of(*c, Row{zero_doppler_of(run.view), s, nullptr, signs});
      // A text is shown as it is (moved, not copied); zero-Doppler baselines
      // are metres of their own, not bperp's km digits.
      if (std::string* text = std::get_if<std::string>(&value)) row.push_back(std::move(*text));
      else row.push_back(table_text(value, beam ? c->form : TableForm::fixed, c->decimals));
    }
    const std::size_t k = static_cast<std::size_t>(&s - run.secondaries.data());
    if (grid) {
      const GridSpread& g = run.grid_spreads[k];
      const auto [parallel_lo, parallel_hi] = signed_span(g.parallel_min, g.parallel_max, signs.parallel);
      const auto [perpendicular_lo, perpendicular_hi] =
          signed_span(g.perpendicular_min, g.perpendicular_max, signs.perpendicular);
      for (const double v : {parallel_lo, parallel_hi, perpendicular_lo, perpendicular_hi})
        row.push_back(std::isfinite(v) ? fixed_text_unsigned_zero(v * metres_per_km, length_decimals) : std::string());
    }
    const std::size_t failed = grid ? run.grid_failures[k].count : 0;
    if (!s.ok()) {
      row.push_back("error: " + s.refusal->text);
    } else if (failed > 0) {
      // The spread above is of the points that have a baseline only.
      const std::size_t points = run.grid()->targets();
      row.push_back("spread over " + std::to_string(points - failed) + " of " + std::to_string(points) + " points");
    }
    rows.push_back(std::move(row));
  }
  write_text_table(out, headings, rows);
}

void write_stack_csv(std::FILE* out, const StackRun& run, Convention convention, const GridStream* stream) {
  write_csv_record(out, stack_csv_header());
  std::string line;
  for_each_row(run, convention, stream, [&](const Row& row) {
    line.clear();
    bool first = true;
    for (const Column& c : secondary_columns()) {
      if (!c.in_csv) continue;
      if (!first) line += ',';
      first = false;
      append_csv_field(line, value_of(c, row));
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out);
  });
}

namespace {

// The members of the reference objects: a text (null when it is empty,
// where the absence is possible), a number (null when not finite), a date
// or a whole number (null for none).
void text_member(JsonWriter& json, std::string_view key, std::string_view text) {
  json.key(key);
  json.string(text);
}
void text_or_null_member(JsonWriter& json, std::string_view key, const std::string* text) {
  json.key(key);
  if (text != nullptr && !text->empty()) json.string(*text);
  else json.null();
}
void number_member(JsonWriter& json, std::string_view key, double value) {
  json.key(key);
  json.number(value);
}
void date_member(JsonWriter& json, std::string_view key, const std::optional<long>& day) {
  json.key(key);
  if (day) json.string(day_text(day));
  else json.null();
}
void whole_member(JsonWriter& json, std::string_view key, const std::optional<long>& n) {
  json.key(key);
  if (n) json.whole(*n);
  else json.null();
}

void beam_reference_json(JsonWriter& json, const StackRun& run) {
  const ReferenceGeometry& g = std::get<ReferenceGeometry>(run.view);
  json.begin_object();
  text_member(json, "name", run.reference.name);
  date_member(json, "date", run.reference.day);
  text_member(json, "geometry", "beam");
  number_member(json, "slant_range_km", g.slant_range);
  json.key("scene_point");
  json.begin_object();
  number_member(json, "latitude_deg", degrees(g.latitude));
  number_member(json, "longitude_deg", degrees(g.longitude));
  number_member(json, "height_m", g.height * metres_per_km);
  number_member(json, "x_km", g.scene_point[0]);
  number_member(json, "y_km", g.scene_point[1]);
  number_member(json, "z_km", g.scene_point[2]);
  json.end_object();
  number_member(json, "incidence_deg", degrees(g.incidence));
  number_member(json, "off_nadir_deg", degrees(g.off_nadir));
  number_member(json, "doppler_centroid_hz", g.doppler_centroid);
  number_member(json, "doppler_rate_hz_per_s", g.doppler_rate);
  number_member(json, "wavelength_m", g.wavelength * metres_per_km);
  text_member(json, "wavelength_source", run.wavelength_source);
  json.end_object();
}

void zero_doppler_reference_json(JsonWriter& json, const StackRun& run) {
  const ZeroDopplerReference& z = *zero_doppler_of(run.view);
  const ZeroDopplerGeometry& v = z.view;
  const Acquisition& a = run.reference;
  const ProductInfo* p = a.product ? &*a.product : nullptr;
  json.begin_object();
  text_member(json, "name", a.name);
  date_member(json, "date", a.day);
  text_member(json, "geometry", "zero-doppler");
  text_member(json, "kind", kind_text(a));
  text_or_null_member(json, "mission", p ? &p->mission : nullptr);
  whole_member(json, "absolute_orbit", p ? p->absolute_orbit : std::nullopt);
  whole_member(json, "relative_orbit", z.relative_orbit);
  text_or_null_member(json, "pass", p ? &p->pass : nullptr);
  text_or_null_member(json, "swath", p ? &p->swath : nullptr);
  text_or_null_member(json, "polarisation", p ? &p->polarisation : nullptr);
  const std::string burst = reference_burst_id(run);
  text_or_null_member(json, "burst_id", &burst);
  const std::string time = z.time ? utc_text(*z.time) : std::string();
  text_or_null_member(json, "reference_time", &time);
  number_member(json, "latitude_deg", degrees(v.target_geodetic.latitude));
  number_member(json, "longitude_deg", degrees(v.target_geodetic.longitude));
  number_member(json, "height_m", v.target_geodetic.height * metres_per_km);
  number_member(json, "x_km", v.target[0]);
  number_member(json, "y_km", v.target[1]);
  number_member(json, "z_km", v.target[2]);
  number_member(json, "reference_slant_range_m", v.slant_range * metres_per_km);
  text_member(json, "look_side", z.look == LookSide::right ? "right" : "left");
  number_member(json, "look_angle_deg", degrees(v.angles.look_angle));
  number_member(json, "incidence_deg", degrees(v.angles.incidence));
  number_member(json, "heading_deg", degrees(v.angles.heading));
  number_member(json, "wavelength_m", z.wavelength * metres_per_km);
  text_member(json, "wavelength_source", z.wavelength_source);
  text_member(json, "orbit_source", escaped(z.orbit_source));
  number_member(json, "interpolation_error_m", v.interpolation_error * metres_per_km);
  json.end_object();
}

}  // namespace

void stack_json(JsonWriter& json, const StackRun& run, Convention convention, const GridStream* stream) {
  json.key("reference");
  if (zero_doppler_of(run.view)) zero_doppler_reference_json(json, run);
  else beam_reference_json(json, run);
  json.key("secondaries");
  json.begin_array();
  for_each_row(run, convention, stream, [&](const Row& r) {
    json.begin_object();
    for (const Column& c : secondary_columns()) {
      json.key(c.key);
      json_value(json, value_of(c, r), Digits::grisu2);
    }
    json.end_object();
  });
  json.end_array();
}

void document_notes_json(JsonWriter& json, Convention convention, const std::vector<std::string>& warnings) {
  json.key("convention");
  json.string(convention_name(convention));
  json.key("warnings");
  json.begin_array();
  for (const std::string& w : warnings) json.string(w);
  json.end_array();
}

void write_json(std::FILE* out, const StackRun& run, Convention convention, const std::vector<std::string>& warnings,
                const RunChoices& choices, const GridStream* stream) {
  JsonWriter json(out);
  json.begin_object();
  stack_json(json, run, convention, stream);
  choices_json(json, choices);
  document_notes_json(json, convention, warnings);
  json.end_object();
  json.finish();
}

}  // namespace bperp::stack
