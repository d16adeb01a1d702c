// Numbers as text, independent of the locale (std::to_chars): a fixed
// number of decimals for people, the shortest round-trip form for machines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace bperp::stack {

// value with `decimals` digits after the point ("-12.345"); "nan", "inf" or
// "-inf" for the non-finite values.
std::string fixed_text(double value, int decimals);

// fixed_text without the sign of a value that rounds to zero ("0.000",
// never "-0.000"), for quantities whose sign below the last digit says nothing.
std::string fixed_text_unsigned_zero(double value, int decimals);

// fixed_text_unsigned_zero's text of a finite value, written from first
// (room up to last); returns its end.
char* append_fixed_unsigned_zero(char* first, char* last, double value, int decimals);

// The shortest text that reads back as exactly value ("0.1", "1e+300").
std::string round_trip_text(double value);

// The shortest decimal that reads back as a double x > 0: x's digits
// (without trailing zeros) times 10^exponent, the closest to x of the
// shortest (a tie to the even one), as std::to_chars chooses them.
struct ShortestDecimal {
  std::uint64_t digits = 0;
  int exponent = 0;
};

// The shortest decimal of x, worked out with exact integer arithmetic for
// 2^-14 <= x < 2^53 (the lengths, heights and coherences of the pairs);
// nothing outside that range, for std::to_chars to give.
std::optional<ShortestDecimal> shortest_decimal(double x);

// The text of std::to_chars(first, last, value) (the shortest that reads
// back exactly, in fixed or scientific notation, whichever is shorter),
// written from first; returns its end. first must have room for
// shortest_room chars (some beyond the end returned may be written).
inline constexpr std::size_t shortest_room = 48;
char* append_shortest(char* first, double value);

// A length in km, printed with six decimals as bperp prints it, rewritten in
// metres with three decimals by moving the decimal point: the same digits,
// with no second rounding ("0.123456" km -> "123.456" m, "-0.000001" ->
// "-0.001"). Non-finite values give fixed_text's words.
std::string metres_text_from_km(double km);

// A count with its noun: "1 pair", "0 pairs", "2 pairs" (one the singular,
// many the plural).
std::string count_text(std::size_t count, const std::string& one, const std::string& many);

}  // namespace bperp::stack
