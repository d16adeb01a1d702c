#include "bperp/stack/support/iso_date.h"

#include <cstdio>

namespace bperp::stack {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The value of the digits text[first .. first + count - 1].
int digits_value(std::string_view text, std::size_t first, std::size_t count) {
  int v = 0;
  for (std::size_t i = first; i < first + count; ++i) v = v * 10 + (text[i] - '0');
  return v;
}

}  // namespace

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
  static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && is_leap_year(year)) return 29;
  return lengths[month - 1];
}

DateParse parse_iso_date_prefix(std::string_view text, CivilDate* date) {
  // Positions of the two dashes in YYYY-MM-DD.
  constexpr std::size_t first_dash = 4, second_dash = 7;
  if (text.size() < iso_date_length) return DateParse::none;
  for (std::size_t i = 0; i < iso_date_length; ++i) {
    const bool dash = (i == first_dash || i == second_dash);
    if (dash ? text[i] != '-' : !is_digit(text[i])) return DateParse::none;
  }
  if (text.size() > iso_date_length && is_digit(text[iso_date_length])) return DateParse::none;
  CivilDate d;
  d.year = digits_value(text, 0, 4);
  d.month = digits_value(text, first_dash + 1, 2);
  d.day = digits_value(text, second_dash + 1, 2);
  if (d.day < 1 || d.day > days_in_month(d.year, d.month)) return DateParse::invalid;
  *date = d;
  return DateParse::ok;
}

// The civil-calendar algorithms count eras of 400 years (146097 days) from
// 0000-03-01, so that the leap day is the last day of each counted year.
long days_from_civil(const CivilDate& date) {
  const long y = date.year - (date.month <= 2 ? 1 : 0);
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long year_of_era = y - era * 400;                                  // 0..399
  const long month_from_march = (date.month + 9) % 12;                     // March = 0
  const long day_of_year = (153 * month_from_march + 2) / 5 + date.day - 1;  // 0..365
  const long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  constexpr long days_0000_03_01_to_1970_01_01 = 719468;
  return era * 146097 + day_of_era - days_0000_03_01_to_1970_01_01;
}

CivilDate civil_from_days(long days) {
  const long z = days + 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long day_of_era = z - era * 146097;
  const long year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long month_from_march = (5 * day_of_year + 2) / 153;
  CivilDate d;
  d.day = static_cast<int>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  d.month = static_cast<int>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
  d.year = static_cast<int>(year_of_era + era * 400 + (d.month <= 2 ? 1 : 0));
  return d;
}

std::string iso_date_text(const CivilDate& date) {
  if (date.year >= 0 && date.year <= 9999 && date.month >= 0 && date.month <= 99 && date.day >= 0 &&
      date.day <= 99) {
    // Four, two and two digits, laid out by hand.
    std::string text = "0000-00-00";
    const auto put = [&](std::size_t last, int value) {
      for (std::size_t i = last + 1; value != 0; value /= 10) text[--i] = static_cast<char>('0' + value % 10);
    };
    put(3, date.year);
    put(6, date.month);
    put(9, date.day);
    return text;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

}  // namespace bperp::stack
