#include "bperp/stack/inputs/acquisition.h"

#include <cstring>
#include <string_view>

#include "bperp/stack/support/escape.h"

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

// When every line after the header that holds numbers holds the same
// count of them, that count; 0 otherwise (numbers spread over lines freely).
std::size_t numbers_per_line(const NumberFile& file) {
  if (file.lines.empty()) return 0;
  std::size_t per_line = 0, run = 0;
  for (std::size_t k = 0; k < file.lines.size(); ++k) {
    ++run;
    if (k + 1 == file.lines.size() || file.lines[k + 1] != file.lines[k]) {
      if (per_line != 0 && run != per_line) return 0;
      per_line = run;
      run = 0;
    }
  }
  return per_line;
}

// Reads an acquisition file by the count rule; refusals begin with
// "can't read " + what + the file's name.
Acquisition read_acquisition(const std::string& path, const std::string& what) {
  Acquisition a;
  a.path = path;
  a.name = escaped(path);
  const std::string cant_read = "can't read " + what + a.name + ": ";
  NumberFile file;
  file.keep_lines = true;
  std::string problem;
  switch (read_number_file(path.c_str(), max_orbit_rows * orbit_row_numbers, false,
                           max_orbit_bytes, file, &problem)) {
    case FileRead::cannot_open:
      a.error = "can't open " + a.name + ": " + std::strerror(file.open_error);
      return a;
    case FileRead::refused:
      a.error = cant_read + problem;
      return a;
    case FileRead::ok:
      break;
  }
  std::string date_problem, date_warning;
  a.day = header_date(file.header_prefix, &date_problem, &date_warning);
  if (!date_warning.empty()) a.warning = a.name + ": " + date_warning;
  if (!date_problem.empty()) {
    a.error = a.name + ": " + date_problem;
    return a;
  }
  if (file.numbers.size() == state_vector_numbers) {
    a.kind = AcquisitionKind::state_vector;
    a.state = state_vector_from(file.numbers.data());
    return a;
  }
  const std::size_t per_line = numbers_per_line(file);
  const bool rows_are_lines = per_line == orbit_row_numbers;
  if (per_line != 0 && per_line != orbit_row_numbers && file.numbers.size() > per_line) {
    a.error = cant_read + "the file has " + std::to_string(per_line) +
              " numbers per line, an orbit row needs " + std::to_string(orbit_row_numbers) +
              " (t X Y Z VX VY VZ)";
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
  if (rows_are_lines)
    for (std::size_t k = 0; k < file.lines.size(); k += orbit_row_numbers)
      a.row_lines.push_back(file.lines[k]);
  a.orbit = orbit_from_numbers(file.numbers, &problem, rows_are_lines ? &a.row_lines : nullptr);
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
    a.error = "can't use " + a.name + " as the reference: it is an orbit file; the reference is a "
              "state vector (six numbers)";
    a.orbit.clear();
  }
  return a;
}

std::string day_text(const std::optional<long>& day) {
  return day ? iso_date_text(civil_from_days(*day)) : std::string();
}

}  // namespace bperp::stack
