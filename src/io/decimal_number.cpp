#include "bperp/io/decimal_number.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace bperp {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// True when token is [+-](digits[.digits*] | .digits)[(e|E)[+-]digits].
bool is_decimal(std::string_view token) {
  std::size_t i = 0;
  const std::size_t n = token.size();
  if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && is_digit(token[i])) ++i, ++digits;
  if (i < n && token[i] == '.') {
    ++i;
    while (i < n && is_digit(token[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < n && is_digit(token[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  return i == n;
}

// A decimal token (is_decimal) as a double; false when it overflows to an
// infinity. A value below the smallest subnormal reads as a zero of its sign.
bool decimal_value(std::string_view token, double* value) {
  const char* first = token.data();
  const char* last = first + token.size();
  if (*first == '+') ++first;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
  if (ec == std::errc() && end == last) {
    *value = v;
    return std::isfinite(v);
  }
  if (ec != std::errc::result_out_of_range) return false;
  // Out of range: tell overflow from underflow by the exponent's sign.
  const std::size_t e = token.find_first_of("eE");
  if (e == std::string_view::npos || token[e + 1] != '-') return false;
  *value = (token[0] == '-') ? -0.0 : 0.0;
  return true;
}

}  // namespace

std::optional<double> decimal_number(std::string_view token) {
  double value = 0.0;
  if (token.empty() || token.size() >= max_number_token_bytes || !is_decimal(token) ||
      !decimal_value(token, &value))
    return std::nullopt;
  return value;
}

}  // namespace bperp
