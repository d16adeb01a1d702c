#include "bperp/stack/network/date_filter.h"

#include <algorithm>
#include <cctype>

#include "bperp/stack/support/iso_date.h"

namespace bperp::stack {

namespace {

bool all_digits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number of a text of one or two digits, or 0.
int small_number(std::string_view text) {
  if (text.empty() || text.size() > 2 || !all_digits(text)) return 0;
  int n = 0;
  for (const char c : text) n = 10 * n + (c - '0');
  return n;
}

// text split at each separator.
std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

}  // namespace

std::optional<long> day_of_date_text(std::string_view text) {
  std::string iso;
  constexpr std::size_t compact_length = 8;
  if (text.size() == compact_length && all_digits(text))
    iso = std::string(text.substr(0, 4)) + "-" + std::string(text.substr(4, 2)) + "-" + std::string(text.substr(6, 2));
  else if (text.size() == iso_date_length)
    iso = std::string(text);
  else
    return std::nullopt;
  CivilDate date;
  if (parse_iso_date_prefix(iso, &date) != DateParse::ok) return std::nullopt;
  return days_from_civil(date);
}

std::optional<std::vector<MonthRange>> month_ranges_of(std::string_view text) {
  std::vector<MonthRange> ranges;
  for (const std::string_view part : split(text, ',')) {
    const std::vector<std::string_view> ends = split(part, '-');
    if (ends.size() > 2) return std::nullopt;
    const int first = small_number(ends.front()), last = small_number(ends.back());
    if (first < 1 || first > 12 || last < 1 || last > 12) return std::nullopt;
    ranges.push_back({first, last});
  }
  return ranges;
}

std::string filter_leaving_out(const DateFilters& filters, long day) {
  if (filters.start && day < *filters.start) return "--start";
  if (filters.end && day > *filters.end) return "--end";
  if (std::find(filters.excluded.begin(), filters.excluded.end(), day) != filters.excluded.end()) return "--exclude";
  if (!filters.months.empty()) {
    const int month = civil_from_days(day).month;
    const bool kept = std::any_of(filters.months.begin(), filters.months.end(), [&](const MonthRange& r) {
      return r.first <= r.last ? (month >= r.first && month <= r.last) : (month >= r.first || month <= r.last);
    });
    if (!kept) return "--months";
  }
  return {};
}

bool excluded_dates_of(std::string_view text, std::vector<long>& days, std::string* problem) {
  std::size_t number = 0;
  for (std::string_view line : split(text, '\n')) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::optional<long> day = day_of_date_text(line);
    if (!day) {
      *problem = "line " + std::to_string(number) + " is no date (YYYY-MM-DD or YYYYMMDD)";
      return false;
    }
    days.push_back(*day);
  }
  return true;
}

}  // namespace bperp::stack
