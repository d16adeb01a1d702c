// UTC instants of acquisitions and orbit vectors, held as whole nanoseconds
// since 1970-01-01T00:00:00 on the civil calendar (std::chrono::sys_time):
// exact to 1 ns (7.5 um along the track) for any date a satellite flies,
// never as one double of seconds since 1970. Leap seconds are not counted,
// as in the products' own time stamps; differences that span one (the end of
// June or December of some years) are a second long, which no baseline here
// is affected by.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bperp::stack {

using UtcTime = std::chrono::sys_time<std::chrono::nanoseconds>;

// The years parse_utc takes: far inside the some 292 years either side of
// 1970 that 64-bit nanoseconds hold.
constexpr long first_utc_year = 1900;
constexpr long last_utc_year = 2200;

// The years the times of an acquisition may lie in, for every product and
// orbit read: from the start of the clock's calendar to well beyond any
// mission of today, and far inside what 64-bit nanoseconds hold.
constexpr int first_product_year = 1970;
constexpr int last_product_year = 2199;

// Reads "YYYY-MM-DDTHH:MM:SS[.fraction][Z]" (a blank may stand for the T;
// the fraction may have any number of digits, rounded to the nearest
// nanosecond). nullopt, and *problem set, for anything else: a date that is
// no calendar date, hours beyond 23, minutes or seconds beyond 59, trailing
// text.
std::optional<UtcTime> parse_utc(std::string_view text, std::string* problem = nullptr);

// "YYYY-MM-DDTHH:MM:SS.fffffffffZ": nine decimals, the inverse of parse_utc.
std::string utc_text(UtcTime t);

// b - a in seconds.
double seconds_between(UtcTime a, UtcTime b);

// t + seconds, rounded to the nearest nanosecond; a shift beyond 100 years
// is held at 100 years and NaN moves nothing (the 64-bit count would
// overflow).
UtcTime add_seconds(UtcTime t, double seconds);

// t + seconds (rounded to the nearest nanosecond) when both t and the sum
// lie within the years first_product_year to last_product_year; nullopt
// otherwise, and for a NaN or infinite shift. Checked before the addition,
// so that no shift, however large, can overflow the count.
std::optional<UtcTime> product_time(UtcTime t, double seconds);

// "the years 1970 to 2199", for messages about product_time's bound.
std::string product_years_text();

// The civil day of t as a day number (days since 1970-01-01).
long day_number(UtcTime t);

// Seconds of t since 00:00 of its day.
double seconds_of_day(UtcTime t);

// 00:00 UTC of a day number.
UtcTime start_of_day(long day);

}  // namespace bperp::stack
