#include "bperp/stack/inputs/acquisition.h"

#include <string_view>

namespace bperp::stack {

std::optional<long> header_date(const std::string& header_prefix, std::string* problem,
                                std::string* warning) {
  constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
  const std::string_view text =
      std::string_view(header_prefix).starts_with(byte_order_mark)
          ? std::string_view(header_prefix).substr(byte_order_mark.size())
          : std::string_view(header_prefix);
  CivilDate date;
  switch (parse_iso_date_prefix(text, &date)) {
    case DateParse::ok:
      if (date.year < first_sar_year || date.year > last_header_year) {
        if (warning != nullptr)
          *warning = "the header date " + std::string(text.substr(0, iso_date_length)) +
                     " lies outside " + std::to_string(first_sar_year) + " to " +
                     std::to_string(last_header_year) + ": taken as no date";
        return std::nullopt;
      }
      return days_from_civil(date);
    case DateParse::invalid:
      if (problem != nullptr)
        *problem = "the header starts with " + std::string(text.substr(0, iso_date_length)) +
                   ", which is not a calendar date";
      return std::nullopt;
    case DateParse::none:
      break;
  }
  return std::nullopt;
}

namespace {

// Reads an acquisition file by the count rule; refusals begin with
// "can't read " + what + path.
Acquisition read_acquisition(const std::string& path, const std::string& what) {
  const std::string cant_read = "can't read " + what + path + ": ";
  Acquisition a;
  a.path = path;
  NumberFile file;
  std::string problem;
  switch (read_number_file(path.c_str(), max_orbit_rows * orbit_row_numbers, false,
                           max_orbit_bytes, file, &problem)) {
    case FileRead::cannot_open:
      a.error = "can't open " + path;
      return a;
    case FileRead::refused:
      a.error = cant_read + problem;
      return a;
    case FileRead::ok:
      break;
  }
  std::string date_problem, date_warning;
  a.day = header_date(file.header_prefix, &date_problem, &date_warning);
  if (!date_warning.empty()) a.warning = path + ": " + date_warning;
  if (!date_problem.empty()) {
    a.error = path + ": " + date_problem;
    return a;
  }
  if (file.numbers.size() == state_vector_numbers) {
    a.kind = AcquisitionKind::state_vector;
    a.state = state_vector_from(file.numbers.data());
    return a;
  }
  if (!file.numbers.empty() && file.numbers.size() % orbit_row_numbers == 0)
    a.kind = AcquisitionKind::orbit;
  if (a.kind == AcquisitionKind::orbit &&
      file.numbers.size() < orbit_min_rows * orbit_row_numbers) {
    const std::size_t rows = file.numbers.size() / orbit_row_numbers;
    a.error = cant_read + "the orbit has " + std::to_string(rows) +
              (rows == 1 ? " row" : " rows") + "; its interpolation needs at least " +
              std::to_string(orbit_min_rows);
    return a;
  }
  if (file.numbers.empty() || file.numbers.size() % orbit_row_numbers != 0) {
    a.error = cant_read + "it holds " + std::to_string(file.numbers.size()) +
              " numbers; a state vector has " + std::to_string(state_vector_numbers) +
              ", an orbit " + std::to_string(orbit_row_numbers) +
              " per row (t X Y Z VX VY VZ)";
    return a;
  }
  a.orbit = orbit_from_numbers(file.numbers, &problem);
  if (a.orbit.empty()) a.error = cant_read + problem;
  return a;
}

}  // namespace

Acquisition read_secondary(const std::string& path) { return read_acquisition(path, ""); }

Acquisition read_reference(const std::string& path) {
  // Read by the same count rule as a secondary, so that an orbit file is
  // told apart instead of having its first row taken as a state vector.
  Acquisition a = read_acquisition(path, "state vector from ");
  if (a.kind == AcquisitionKind::orbit && a.error.rfind("can't open", 0) != 0) {
    a.error = "can't use " + path + " as the reference: it is an orbit file; the reference is a "
              "state vector (six numbers)";
    a.orbit.clear();
  }
  return a;
}

std::string day_text(const std::optional<long>& day) {
  return day ? iso_date_text(civil_from_days(*day)) : std::string();
}

}  // namespace bperp::stack
