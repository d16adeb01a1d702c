// Dates in headers, numbers as text, and the CSV and table writers.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "bperp/stack/support/iso_date.h"
#include "bperp/stack/support/number_text.h"
#include "bperp/stack/outputs/text_table.h"
#include "bperp/stack/support/escape.h"
#include "stack_test_support.h"

namespace bperp::stack {
namespace {

// Day numbers worked out by hand from the calendar (and checked with
// Python's datetime.date.toordinal() - 719163).
TEST(IsoDate, DayNumbersOfKnownDates) {
  struct Case {
    const char* text;
    long day;
  };
  for (const Case& c : {Case{"1970-01-01", 0}, Case{"1969-12-31", -1}, Case{"2000-02-29", 11016},
                        Case{"2000-03-01", 11017}, Case{"2007-03-14", 13586},
                        Case{"2008-06-14", 14044}, Case{"1900-03-01", -25508},
                        Case{"2100-03-01", 47541}, Case{"0001-01-01", -719162}}) {
    CivilDate d;
    ASSERT_EQ(parse_iso_date_prefix(c.text, &d), DateParse::ok) << c.text;
    EXPECT_EQ(days_from_civil(d), c.day) << c.text;
    EXPECT_EQ(iso_date_text(civil_from_days(c.day)), c.text);
  }
}

// Dates written as printf's %04d-%02d-%02d writes them, in the years of
// four digits and outside them.
TEST(IsoDate, TextAsPrintfWritesIt) {
  for (const CivilDate d : {CivilDate{0, 1, 1}, CivilDate{9, 9, 9}, CivilDate{10, 10, 10}, CivilDate{2008, 6, 14},
                            CivilDate{9999, 12, 31}, CivilDate{10000, 1, 1}, CivilDate{-1, 12, 31},
                            CivilDate{2008, 0, 100}}) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "%04d-%02d-%02d", d.year, d.month, d.day);
    EXPECT_EQ(iso_date_text(d), expected);
  }
}

TEST(IsoDate, DaysRoundTripAndStepOneDayAtATime) {
  // Every day from 1600-01-01 to 2400-12-31: the next day number is the next
  // calendar day (month and year roll over where the calendar says).
  CivilDate d{1600, 1, 1};
  long day = days_from_civil(d);
  for (; d.year <= 2400; ++day) {
    ASSERT_EQ(days_from_civil(d), day) << iso_date_text(d);
    const CivilDate back = civil_from_days(day);
    ASSERT_TRUE(back.year == d.year && back.month == d.month && back.day == d.day) << day;
    if (++d.day > days_in_month(d.year, d.month)) {
      d.day = 1;
      if (++d.month > 12) d.month = 1, ++d.year;
    }
  }
}

TEST(IsoDate, HeaderPrefixes) {
  struct Case {
    const char* header;
    DateParse result;
  };
  for (const Case& c : {Case{"2007-03-14 master pass", DateParse::ok},
                        Case{"2007-03-14", DateParse::ok},
                        Case{"2007-03-14T10:30:00Z", DateParse::ok},
                        Case{"2008-02-29", DateParse::ok}, Case{"2000-02-29", DateParse::ok},
                        Case{"2007-02-29", DateParse::invalid},
                        Case{"1900-02-29", DateParse::invalid},
                        Case{"2007-04-31", DateParse::invalid},
                        Case{"2007-13-01", DateParse::invalid},
                        Case{"2007-00-10", DateParse::invalid},
                        Case{"2007-01-00", DateParse::invalid},
                        Case{"2007-03-145", DateParse::none}, Case{"2007-3-14", DateParse::none},
                        Case{"20070314", DateParse::none}, Case{" 2007-03-14", DateParse::none},
                        Case{"master pass", DateParse::none}, Case{"", DateParse::none},
                        Case{"2007-03-1", DateParse::none}}) {
    CivilDate d;
    EXPECT_EQ(parse_iso_date_prefix(c.header, &d), c.result) << '"' << c.header << '"';
  }
}

// metres_text_from_km must show the digits of bperp's "%f" of the km value
// with the point moved three places: the same integer count of millimetres.
TEST(NumberText, MetresCarryTheDigitsOfTheKilometres) {
  struct Case {
    double km;
    const char* metres;
  };
  for (const Case& c : {Case{0.244824336, "244.824"}, Case{-0.000001, "-0.001"},
                        Case{12.3456789, "12345.679"}, Case{0.0, "0.000"}, Case{-0.0, "-0.000"},
                        Case{-4e-7, "-0.000"}, Case{1000.0, "1000000.000"},
                        Case{-0.0995, "-99.500"}, Case{0.0000005000001, "0.001"}}) {
    EXPECT_EQ(metres_text_from_km(c.km), c.metres) << c.km;
  }
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> km(-5.0, 5.0);
  for (int i = 0; i < 20000; ++i) {
    const double x = km(random) * std::pow(10.0, static_cast<int>(random() % 5) - 2);
    char printed[64];
    std::snprintf(printed, sizeof printed, "%f", x);  // as bperp prints it
    const std::string m = metres_text_from_km(x);
    // Same millimetres: the printed km times 1e6 and the metres times 1e3.
    EXPECT_EQ(std::llround(std::strtod(printed, nullptr) * 1e6), std::llround(std::strtod(m.c_str(), nullptr) * 1e3))
        << printed << " -> " << m;
    EXPECT_EQ(printed[0] == '-', m[0] == '-') << printed << " -> " << m;
  }
}

TEST(NumberText, RoundTripAndFixed) {
  for (const double x : {0.1, 1.0 / 3.0, -2.5e-300, 6378.137, 1e22, 244.82433644662424})
    EXPECT_EQ(std::strtod(round_trip_text(x).c_str(), nullptr), x) << round_trip_text(x);
  EXPECT_EQ(fixed_text(1.0005, 3), "1.000");  // 1.0005 is stored below the half
  EXPECT_EQ(fixed_text(-12.25, 1), "-12.2");  // an exact half goes to even
  EXPECT_EQ(fixed_text(std::nan(""), 3), "nan");
  EXPECT_EQ(fixed_text(-INFINITY, 3), "-inf");
  EXPECT_EQ(fixed_text_unsigned_zero(-0.0004, 3), "0.000");
  EXPECT_EQ(fixed_text_unsigned_zero(-0.0006, 3), "-0.001");
  EXPECT_EQ(fixed_text_unsigned_zero(-0.0, 1), "0.0");
  EXPECT_EQ(fixed_text_unsigned_zero(-10.0, 0), "-10");
}

// The exact shortest form must give std::to_chars's text for every double:
// hand values (ties between two shortest decimals, powers of two whose
// lower neighbour is nearer, the ends of the exact range, where the
// notation switches) and a million random ones of every kind.
TEST(NumberText, ShortestIsWhatToCharsWrites) {
  const auto expect_same = [](double v) {
    char a[64], b[shortest_room];
    const char* end_a = std::to_chars(a, a + sizeof a, v).ptr;
    const char* end_b = append_shortest(b, v);
    const char* start_a = a;
    const char* start_b = b;
    ASSERT_EQ(std::string(start_a, end_a), std::string(start_b, end_b)) << std::hexfloat << v;
  };
  struct Case {
    double value;
    const char* text;
  };
  for (const Case& c : {Case{0.1, "0.1"}, Case{-0.3, "-0.3"}, Case{1.2817124016588768, "1.2817124016588768"},
                        Case{50058.28135032105, "50058.28135032105"}, Case{100.0, "100"}, Case{0.5, "0.5"},
                        Case{1e-3, "0.001"}, Case{1e-4, "1e-04"}, Case{1.5e-5, "1.5e-05"}, Case{1234567.0, "1234567"},
                        Case{0x1p-14, "6.103515625e-05"}, Case{-0.0, "-0"}, Case{0x1.fffffffffffffp51, "4503599627370495.5"}}) {
    char text[shortest_room];
    const char* start = text;
    const char* end = append_shortest(text, c.value);
    EXPECT_EQ(std::string(start, end), c.text);
  }
  const ShortestDecimal tenth = *shortest_decimal(0.1);
  EXPECT_EQ(tenth.digits, 1u);
  EXPECT_EQ(tenth.exponent, -1);
  EXPECT_FALSE(shortest_decimal(0x1p52));  // outside: left to std::to_chars
  for (int k = -70; k <= 60; ++k)
    for (const double p : {std::ldexp(1.0, k), std::ldexp(3.0, k), std::ldexp(5.0, k)})
      for (const double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e300), -p}) expect_same(v);
  for (long k = 0; k < 20000; ++k)
    for (int j = 0; j < 8; ++j) {
      expect_same(static_cast<double>(k) / std::pow(10.0, j));
      expect_same((static_cast<double>(k) + 0.5) / std::pow(10.0, j));  // halfway between short decimals
    }
  std::mt19937_64 random(31);
  std::uniform_real_distribution<double> decades(-20.0, 20.0), metres(-500.0, 500.0);
  for (int i = 0; i < 200000; ++i) {
    expect_same(std::bit_cast<double>(random()));
    expect_same(std::pow(10.0, decades(random)));
    const double perpendicular = metres(random) - metres(random);
    expect_same(perpendicular);
    expect_same(1.0e7 / (2.0 * perpendicular));
  }
}

TEST(CsvField, QuotesWhatWouldSplitTheRecord) {
  struct Case {
    const char* text;
    const char* field;
  };
  for (const Case& c : {Case{"plain.txt", "plain.txt"}, Case{"a,b", "\"a,b\""},
                        Case{"say \"hi\"", "\"say \"\"hi\"\"\""}, Case{"two\nlines", "\"two\nlines\""},
                        Case{" lead", "\" lead\""}, Case{"", ""}}) {
    EXPECT_EQ(csv_field(c.text), c.field);
    // And the test's reader gives the text back.
    const auto records = stack_test::read_csv(csv_field(c.text) + ",x\n");
    ASSERT_EQ(records.size(), 1u);
    ASSERT_EQ(records[0].size(), 2u);
    EXPECT_EQ(records[0][0], c.text);
  }
}

// Names are escaped the one way every output shows them: printable UTF-8
// as it is, a backslash doubled, every other byte as \xhh; distinct names
// stay distinct.
TEST(Escaped, KeepsUtf8AndEscapesControlsStrayBytesAndBackslashes) {
  struct Case {
    const char* name;
    const char* shown;
  };
  for (const Case& c : {Case{"Gr\xC3\xBC\xC3\x9F" "e.txt", "Gr\xC3\xBC\xC3\x9F" "e.txt"},
                        Case{"a\tb\nc", "a\\x09b\\x0ac"},
                        Case{"x\xFFy", "x\\xffy"},
                        Case{"\xC3", "\\xc3"},                   // cut short
                        Case{"\xC0\xAF", "\\xc0\\xaf"},         // overlong '/'
                        Case{"\xED\xA0\x80", "\\xed\\xa0\\x80"},  // a surrogate
                        Case{"\x1B[31mred", "\\x1b[31mred"},     // a terminal colour
                        Case{"\xC2\x9B" "2J", "\\xc2\\x9b" "2J"},   // C1 CSI: clear screen
                        Case{"\x7F", "\\x7f"},
                        Case{"back\\slash", "back\\\\slash"},
                        Case{"\xF0\x9F\x9B\xB0", "\xF0\x9F\x9B\xB0"}})  // U+1F6F0 satellite
    EXPECT_EQ(escaped(c.name), c.shown) << c.shown;
  // A name that spells an escape and the byte it spells stay apart.
  EXPECT_NE(escaped("a\\xff"), escaped("a\xFF"));
}

// Text cells a spreadsheet would run as a formula get a quote before them;
// numbers are not passed through it.
TEST(SpreadsheetText, DefusesFormulaStarts) {
  for (const char* formula : {"=1+1", "+1", "-x.txt", "@SUM(A1)", "\tx", "\rx"})
    EXPECT_EQ(spreadsheet_text(formula), std::string("'") + formula);
  for (const char* plain : {"", "a=b", "20070612.txt", " =x"}) EXPECT_EQ(spreadsheet_text(plain), plain);
}

// Rows may hold fewer cells than there are columns (empty ones) or more
// (not shown).
TEST(TextTable, AlignsColumnsToTheWidestCell) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  write_text_table(f, {{"name", Align::left}, {"value (m)", Align::right}},
                   {{"a", "1.5"}, {"b"}, {"longer-name", "-123.25"}, {"\xC3\xBC", ""}, {"c", "2", "not shown"}});
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  std::fclose(f);
  EXPECT_EQ(text,
            "name         value (m)\n"
            "-----------  ---------\n"
            "a                  1.5\n"
            "b\n"
            "longer-name    -123.25\n"
            "\xC3\xBC\n"
            "c                    2\n");
}

}  // namespace
}  // namespace bperp::stack
