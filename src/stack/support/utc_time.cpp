#include "bperp/stack/support/utc_time.h"

#include <cmath>
#include <cstdio>

#include "bperp/numeric/units.h"

namespace bperp::stack {

namespace {

using std::chrono::nanoseconds;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The value of count digits at text[first], or -1 when they are not all digits.
long digits(std::string_view text, std::size_t first, std::size_t count) {
  if (first + count > text.size()) return -1;
  long v = 0;
  for (std::size_t i = first; i < first + count; ++i) {
    if (!is_digit(text[i])) return -1;
    v = v * 10 + (text[i] - '0');
  }
  return v;
}

std::optional<UtcTime> refuse(std::string* problem, std::string_view text, const char* why) {
  if (problem != nullptr) {
    std::string words(1, '"');
    words.append(text.substr(0, 64));
    words.append("\" is not a UTC time (");
    words.append(why);
    words.append("; expected YYYY-MM-DDTHH:MM:SS[.fraction])");
    *problem = std::move(words);
  }
  return std::nullopt;
}

}  // namespace

std::optional<UtcTime> parse_utc(std::string_view text, std::string* problem) {
  // Positions in YYYY-MM-DDTHH:MM:SS.
  constexpr std::size_t date_end = 10, hour = 11, minute = 14, second = 17, seconds_end = 19;
  const long y = digits(text, 0, 4), mo = digits(text, 5, 2), d = digits(text, 8, 2);
  if (y < 0 || mo < 0 || d < 0 || text[4] != '-' || text[7] != '-') return refuse(problem, text, "no date");
  if (text.size() == date_end) return refuse(problem, text, "a date without a time of day");
  if (text[date_end] != 'T' && text[date_end] != ' ')
    return refuse(problem, text, "no T between date and time");
  // digits() refuses positions beyond the text: all three found, the text
  // reaches past its seconds and both colons can be looked at.
  const long hh = digits(text, hour, 2), mm = digits(text, minute, 2), ss = digits(text, second, 2);
  if (hh < 0 || mm < 0 || ss < 0 || text[13] != ':' || text[16] != ':')
    return refuse(problem, text, "no time of day");
  const std::chrono::year_month_day ymd{std::chrono::year(static_cast<int>(y)),
                                        std::chrono::month(static_cast<unsigned>(mo)),
                                        std::chrono::day(static_cast<unsigned>(d))};
  if (!ymd.ok()) return refuse(problem, text, "not a calendar date");
  // Nanoseconds since 1970 in 64 bits reach from 1677 to 2262.
  if (y < first_utc_year || y > last_utc_year) return refuse(problem, text, "a year outside 1900 to 2200");
  if (hh > 23 || mm > 59 || ss > 59) return refuse(problem, text, "not a time of day");

  // The fraction, rounded half up to whole nanoseconds.
  std::size_t i = seconds_end;
  long long fraction_ns = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    const std::size_t first = i;
    long long scale = 100000000;
    bool round_up = false;
    for (; i < text.size() && is_digit(text[i]); ++i) {
      if (scale > 0) fraction_ns += (text[i] - '0') * scale;
      else if (i == first + 9) round_up = text[i] >= '5';
      scale /= 10;
    }
    if (i == first) return refuse(problem, text, "no digits after the point");
    if (round_up) ++fraction_ns;
  }
  if (i < text.size() && text[i] == 'Z') ++i;
  if (i != text.size()) return refuse(problem, text, "text after the time");

  const auto day = std::chrono::sys_days(ymd);
  return UtcTime(day) + std::chrono::hours(hh) + std::chrono::minutes(mm) +
         std::chrono::seconds(ss) + nanoseconds(fraction_ns);
}

std::string utc_text(UtcTime t) {
  const auto day = std::chrono::floor<std::chrono::days>(t);
  const std::chrono::year_month_day ymd{day};
  const long long ns = (t - day).count();
  constexpr long long per_second = 1000000000, per_minute = 60 * per_second,
                      per_hour = 60 * per_minute;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%09lldZ",
                static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                static_cast<unsigned>(ymd.day()), ns / per_hour, ns % per_hour / per_minute,
                ns % per_minute / per_second, ns % per_second);
  return text;
}

double seconds_between(UtcTime a, UtcTime b) {
  // Whole seconds and the nanoseconds apart separately: both exact in a
  // double, so the difference keeps its nanoseconds over decades.
  const long long ns = (b - a).count();
  return static_cast<double>(ns / 1000000000) + static_cast<double>(ns % 1000000000) * 1e-9;
}

namespace {

// t + seconds to the nearest nanosecond, the whole seconds and the fraction
// apart so that the fraction keeps its nanoseconds; seconds finite and the
// sum within the count's range (the callers bound both).
UtcTime shifted(UtcTime t, double seconds) {
  const double whole = std::trunc(seconds);
  const long long ns = static_cast<long long>(whole) * 1000000000 + std::llround((seconds - whole) * 1e9);
  return t + nanoseconds(ns);
}

// The first instant of the years of products, and the first after them.
constexpr UtcTime product_years_start{std::chrono::sys_days(std::chrono::year(first_product_year) / 1 / 1)};
constexpr UtcTime product_years_end{std::chrono::sys_days(std::chrono::year(last_product_year + 1) / 1 / 1)};

}  // namespace

UtcTime add_seconds(UtcTime t, double seconds) {
  // Beyond a century either way the sum would leave the 64-bit count: held
  // there (no caller moves a time by more than days).
  constexpr double days_per_century = 36525.0;
  constexpr double limit = days_per_century * units::seconds_per_day;
  if (!(std::fabs(seconds) <= limit)) seconds = std::isnan(seconds) ? 0.0 : std::copysign(limit, seconds);
  return shifted(t, seconds);
}

std::optional<UtcTime> product_time(UtcTime t, double seconds) {
  if (t < product_years_start || t >= product_years_end || !std::isfinite(seconds)) return std::nullopt;
  // Within a second of the room either way, the sum is exact enough to be
  // compared below, and far from the count's ends.
  if (!(seconds >= seconds_between(t, product_years_start) - 1.0 && seconds <= seconds_between(t, product_years_end) + 1.0))
    return std::nullopt;
  const UtcTime sum = shifted(t, seconds);
  if (sum < product_years_start || sum >= product_years_end) return std::nullopt;
  return sum;
}

std::string product_years_text() {
  return "the years " + std::to_string(first_product_year) + " to " + std::to_string(last_product_year);
}

long day_number(UtcTime t) {
  return static_cast<long>(std::chrono::floor<std::chrono::days>(t).time_since_epoch().count());
}

double seconds_of_day(UtcTime t) {
  return seconds_between(UtcTime(std::chrono::floor<std::chrono::days>(t)), t);
}

UtcTime start_of_day(long day) { return UtcTime(std::chrono::sys_days(std::chrono::days(day))); }

}  // namespace bperp::stack
