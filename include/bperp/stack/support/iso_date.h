// Calendar dates of acquisitions: the ISO form YYYY-MM-DD at the start of a
// header line, and whole days on the proleptic Gregorian calendar.
#pragma once

#include <string>
#include <string_view>

namespace bperp::stack {

// A calendar date; a day number counts days from 1970-01-01 (day 0).
struct CivilDate {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..days_in_month
};

// Length of the ISO date text YYYY-MM-DD.
constexpr std::size_t iso_date_length = 10;

enum class DateParse {
  none,     // the text does not start with dddd-dd-dd (no date given)
  ok,       // a valid date
  invalid,  // dddd-dd-dd that is no calendar date (month 13, 30 February ...)
};

// True for the Gregorian leap years.
bool is_leap_year(int year);

// Days in month (1..12) of year; 0 for a month outside 1..12.
int days_in_month(int year, int month);

// Reads a date at the start of text: four digits, '-', two digits, '-', two
// digits, not followed by a further digit. *date receives it when ok.
DateParse parse_iso_date_prefix(std::string_view text, CivilDate* date);

// Day number of a valid date (days since 1970-01-01, negative before it).
long days_from_civil(const CivilDate& date);

// The date of a day number; the inverse of days_from_civil.
CivilDate civil_from_days(long days);

// "YYYY-MM-DD" (years 0..9999).
std::string iso_date_text(const CivilDate& date);

}  // namespace bperp::stack
