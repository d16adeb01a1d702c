#include "bperp/stack/outputs/stack_output.h"

#include <cmath>

#include "bperp/numeric/units.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/outputs/text_table.h"

namespace bperp::stack {

namespace {

using units::degrees;
using units::metres_per_km;
// Decimals in the table: mm for lengths, ms for times.
constexpr int length_decimals = 3;
constexpr int time_decimals = 3;
constexpr int height_of_ambiguity_decimals = 1;
constexpr int angle_decimals = 6;
constexpr int doppler_decimals = 3;
constexpr int slant_range_decimals = 6;
constexpr int wavelength_decimals = 6;

const char* kind_text(AcquisitionKind kind) {
  return kind == AcquisitionKind::orbit ? "orbit" : "state-vector";
}

// Text of an optional finite value: empty when it is missing or not finite.
std::string fixed_or_empty(double value, int decimals) {
  return std::isfinite(value) ? fixed_text_unsigned_zero(value, decimals) : std::string();
}
std::string round_trip_or_empty(double value) {
  return std::isfinite(value) ? round_trip_text(value) : std::string();
}

// null for a missing or non-finite value.
nlohmann::ordered_json number_or_null(double value) {
  return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

// "YYYY-MM-DD" of a day number, or null for none.
nlohmann::ordered_json date_or_null(const std::optional<long>& day) {
  return day ? nlohmann::ordered_json(day_text(day)) : nlohmann::ordered_json(nullptr);
}

double aligned_time(const SecondaryResult& s) {
  return (s.ok() && s.alignment) ? s.alignment->t : std::nan("");
}

// The time a state vector was moved along its orbit, s (NaN for none).
double time_shift(const SecondaryResult& s) {
  return (s.ok() && s.shift) ? s.shift->seconds : std::nan("");
}

// The estimated error of an orbit's interpolation at the alignment, m.
double interpolation_error_m(const SecondaryResult& s) {
  return (s.ok() && s.alignment) ? s.alignment->interpolation_error * metres_per_km : std::nan("");
}

// Decimals of a time shift in the table: microseconds (7.5 mm along the track).
constexpr int shift_decimals = 6;

}  // namespace

const char* const stack_csv_header[] = {
    "name",     "kind",      "date",         "days",         "aligned_time_s",
    "parallel_m", "perpendicular_m", "along_track_m", "length_m", "height_of_ambiguity_m",
    "time_shift_s", "interpolation_error_m", "error"};
const std::size_t stack_csv_columns = sizeof stack_csv_header / sizeof stack_csv_header[0];

void write_stack_table(std::FILE* out, const StackRun& run) {
  const ReferenceGeometry& g = run.geometry;
  const std::string date = day_text(run.reference.day);
  std::string lines;
  lines += "reference         " + run.reference.name +
           (date.empty() ? std::string() : "  (" + date + ")") + "\n";
  lines += "slant range       " + fixed_text(g.slant_range, slant_range_decimals) + " km\n";
  lines += "scene point       latitude " + fixed_text(degrees(g.latitude), angle_decimals) +
           " deg, longitude " + fixed_text(degrees(g.longitude), angle_decimals) +
           " deg, height " + fixed_text_unsigned_zero(g.height * metres_per_km, length_decimals) + " m\n";
  lines += "incidence angle   " + fixed_text(degrees(g.incidence), angle_decimals) + " deg\n";
  lines += "off-nadir angle   " + fixed_text(degrees(g.off_nadir), angle_decimals) + " deg\n";
  lines += "Doppler centroid  " + fixed_text(g.doppler_centroid, doppler_decimals) + " Hz\n";
  lines += "Doppler rate      " + fixed_text(g.doppler_rate, doppler_decimals) + " Hz/s\n";
  lines += "wavelength        " +
           fixed_text(g.wavelength * metres_per_km, wavelength_decimals) + " m\n\n";
  std::fputs(lines.c_str(), out);

  std::vector<TableColumn> columns = {
      {"secondary", Align::left},         {"kind", Align::left},
      {"date", Align::left},              {"days", Align::right},
      {"aligned t (s)", Align::right},    {"shift (s)", Align::right},
      {"parallel (m)", Align::right},
      {"perpendicular (m)", Align::right}, {"along-track (m)", Align::right},
      {"length (m)", Align::right},       {"height of ambiguity (m)", Align::right},
      {"note", Align::left}};
  // The note column only when there is something to note.
  if (run.all_ok()) columns.pop_back();
  std::vector<std::vector<std::string>> rows;
  rows.reserve(run.secondaries.size());
  for (const SecondaryResult& s : run.secondaries) {
    const Acquisition& a = s.acquisition;
    if (!s.ok()) {
      rows.push_back({a.name, "", "", "", "", "", "", "", "", "", "", "error: " + s.error});
      continue;
    }
    const StackBaseline& b = s.baseline;
    rows.push_back({a.name, kind_text(a.kind), day_text(a.day),
                    s.days ? std::to_string(*s.days) : std::string(),
                    fixed_or_empty(aligned_time(s), time_decimals),
                    fixed_or_empty(time_shift(s), shift_decimals),
                    metres_text_from_km(b.parallel), metres_text_from_km(b.perpendicular),
                    fixed_or_empty(b.along_track * metres_per_km, length_decimals),
                    fixed_or_empty(b.length * metres_per_km, length_decimals),
                    fixed_or_empty(b.height_of_ambiguity * metres_per_km,
                                   height_of_ambiguity_decimals),
                    ""});
  }
  write_text_table(out, columns, rows);
}

void write_stack_csv(std::FILE* out, const StackRun& run) {
  write_csv_record(out, std::vector<std::string>(stack_csv_header,
                                                 stack_csv_header + stack_csv_columns));
  for (const SecondaryResult& s : run.secondaries) {
    const Acquisition& a = s.acquisition;
    if (!s.ok()) {
      write_csv_record(out, {spreadsheet_text(a.name), "", "", "", "", "", "", "", "", "", "", "",
                             spreadsheet_text(s.error)});
      continue;
    }
    const StackBaseline& b = s.baseline;
    write_csv_record(out, {spreadsheet_text(a.name), kind_text(a.kind), day_text(a.day),
                           s.days ? std::to_string(*s.days) : std::string(),
                           round_trip_or_empty(aligned_time(s)),
                           round_trip_or_empty(b.parallel * metres_per_km),
                           round_trip_or_empty(b.perpendicular * metres_per_km),
                           round_trip_or_empty(b.along_track * metres_per_km),
                           round_trip_or_empty(b.length * metres_per_km),
                           round_trip_or_empty(b.height_of_ambiguity * metres_per_km),
                           round_trip_or_empty(time_shift(s)),
                           round_trip_or_empty(interpolation_error_m(s)), ""});
  }
}

nlohmann::ordered_json stack_json(const StackRun& run) {
  const ReferenceGeometry& g = run.geometry;
  nlohmann::ordered_json reference = {
      {"name", run.reference.name},
      {"date", date_or_null(run.reference.day)},
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

  nlohmann::ordered_json secondaries = nlohmann::ordered_json::array();
  for (const SecondaryResult& s : run.secondaries) {
    const Acquisition& a = s.acquisition;
    const StackBaseline& b = s.baseline;
    const bool ok = s.ok();
    const auto value = [ok](double v) { return ok ? number_or_null(v) : nlohmann::ordered_json(nullptr); };
    secondaries.push_back(
        {{"name", a.name},
         {"kind", ok ? nlohmann::ordered_json(kind_text(a.kind)) : nlohmann::ordered_json(nullptr)},
         {"date", ok ? date_or_null(a.day) : nlohmann::ordered_json(nullptr)},
         {"days", (ok && s.days) ? nlohmann::ordered_json(*s.days) : nlohmann::ordered_json(nullptr)},
         {"aligned_time_s", value(aligned_time(s))},
         {"parallel_m", value(b.parallel * metres_per_km)},
         {"perpendicular_m", value(b.perpendicular * metres_per_km)},
         {"along_track_m", value(b.along_track * metres_per_km)},
         {"length_m", value(b.length * metres_per_km)},
         {"height_of_ambiguity_m", value(b.height_of_ambiguity * metres_per_km)},
         {"time_shift_s", value(time_shift(s))},
         {"interpolation_error_m", value(interpolation_error_m(s))},
         {"error", ok ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(s.error)}});
  }
  return {{"reference", reference}, {"secondaries", secondaries}};
}

void write_json(std::FILE* out, const nlohmann::ordered_json& document) {
  const std::string text =
      document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  std::fputs(text.c_str(), out);
}

}  // namespace bperp::stack
