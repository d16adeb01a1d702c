// Leaving acquisitions out of a stack by their dates, before its reference
// is chosen: from a start, to an end, single dates, and months of the year
// (the snow-free season, say).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bperp::stack {

// The day number (days since 1970-01-01) of YYYY-MM-DD or YYYYMMDD, the
// whole text; none for any other text or a date that is no calendar date.
std::optional<long> day_of_date_text(std::string_view text);

// Months first to last (1 to 12), over the new year when first > last
// (11-2: November to February).
struct MonthRange {
  int first = 1;
  int last = 12;
};

// M[-M][,...]: months 1 to 12, each alone or a range; none when the text is
// not of that form.
std::optional<std::vector<MonthRange>> month_ranges_of(std::string_view text);

// The dates a stack keeps: from start, to end (both kept), none of
// excluded, and within one of months (when any are given).
struct DateFilters {
  std::optional<long> start;      // day number
  std::optional<long> end;        // day number
  std::vector<long> excluded;     // day numbers
  std::vector<MonthRange> months;
  bool any() const { return start || end || !excluded.empty() || !months.empty(); }
};

// The option that leaves an acquisition of day out ("--start", "--end",
// "--exclude" or "--months", checked in that order), or "" when it is kept.
std::string filter_leaving_out(const DateFilters& filters, long day);

// An acquisition a filter left out: its name, date and the option that
// left it out ("--months").
struct FilteredAcquisition {
  std::string name;
  long day = 0;
  std::string filter;
};

// The dates of an --exclude file's text: one a line (YYYY-MM-DD or
// YYYYMMDD), blank lines and lines starting with # skipped, a CRLF line end
// taken as LF; false and *problem, naming the line, for any other line.
bool excluded_dates_of(std::string_view text, std::vector<long>& days, std::string* problem);

}  // namespace bperp::stack
