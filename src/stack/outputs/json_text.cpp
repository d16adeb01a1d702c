#include "bperp/stack/outputs/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace bperp::stack {

void append_json_string(std::string& out, std::string_view text) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 0x0F];
    } else {
      out += ch;
    }
  }
  out += '"';
}

void append_json_number(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  // The shortest digits and their exponent: value = d.ddd x 10^e.
  char buffer[64];
  const char* end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
  const char* p = buffer;
  if (*p == '-') {
    out += '-';
    ++p;
  }
  char digits[32];
  int k = 0;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') digits[k++] = *p;
  int exponent = 0;
  std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
  // n: where the decimal point falls after the first n digits.
  const int n = exponent + 1;
  constexpr int min_exp = -4, max_exp = 15;
  const auto append_digits = [&](int from, int to) { out.append(digits + from, static_cast<std::size_t>(to - from)); };
  if (k <= n && n <= max_exp) {  // digits[000].0
    append_digits(0, k);
    out.append(static_cast<std::size_t>(n - k), '0');
    out += ".0";
  } else if (0 < n && n <= max_exp) {  // dig.its
    append_digits(0, n);
    out += '.';
    append_digits(n, k);
  } else if (min_exp < n && n <= 0) {  // 0.[000]digits
    out += "0.";
    out.append(static_cast<std::size_t>(-n), '0');
    append_digits(0, k);
  } else {  // d.igitse+XX
    out += digits[0];
    if (k > 1) {
      out += '.';
      append_digits(1, k);
    }
    const int e = n - 1;
    out += e < 0 ? "e-" : "e+";
    const int magnitude = std::abs(e);
    if (magnitude < 10) out += '0';
    char exp_text[8];
    out.append(exp_text, static_cast<std::size_t>(std::to_chars(exp_text, exp_text + sizeof exp_text, magnitude).ptr - exp_text));
  }
}

}  // namespace bperp::stack
