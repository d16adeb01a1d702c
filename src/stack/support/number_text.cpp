#include "bperp/stack/support/number_text.h"

#include <charconv>
#include <cmath>

namespace bperp::stack {

namespace {

// Room for any double in fixed form with up to 20 decimals.
constexpr int text_room = 400;

}  // namespace

std::string fixed_text(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char text[text_room];
  const auto result =
      std::to_chars(text, text + text_room, value, std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

std::string fixed_text_unsigned_zero(double value, int decimals) {
  std::string text = fixed_text(value, decimals);
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return text;
}

std::string round_trip_text(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char text[text_room];
  const auto result = std::to_chars(text, text + text_room, value);
  return std::string(text, result.ptr);
}

std::string metres_text_from_km(double km) {
  // Decimals of bperp's "%f" and the places the point moves from km to m.
  constexpr int km_decimals = 6;
  constexpr int km_to_m_places = 3;
  const std::string k = fixed_text(km, km_decimals);
  const std::size_t point = k.find('.');
  if (!std::isfinite(km) || point == std::string::npos) return k;
  const bool negative = (k[0] == '-');
  const std::string whole = k.substr(negative ? 1 : 0, point - (negative ? 1 : 0));
  std::string digits = whole + k.substr(point + 1, km_to_m_places);
  const std::size_t first = digits.find_first_not_of('0');
  digits = (first == std::string::npos) ? "0" : digits.substr(first);
  return (negative ? "-" : "") + digits + "." + k.substr(point + 1 + km_to_m_places);
}

std::string count_text(std::size_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace bperp::stack
