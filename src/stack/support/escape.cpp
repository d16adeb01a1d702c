#include "bperp/stack/support/escape.h"

#include <algorithm>

namespace bperp::stack {

std::size_t utf8_sequence(std::string_view text, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  unsigned int code = 0;
  if (c >= 0xC2 && c <= 0xDF) n = 2, code = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF) n = 3, code = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4) n = 4, code = c & 0x07;
  else return 0;
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned char d = static_cast<unsigned char>(text[i + k]);
    if ((d & 0xC0) != 0x80) return 0;
    code = (code << 6) | (d & 0x3F);
  }
  // Overlong forms, surrogates and values beyond U+10FFFF.
  const unsigned int least[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[n] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return n;
}

namespace {

// Whether the character of the n-byte sequence at text[i] is a control
// character: C0, DEL, or C1 (U+0080..U+009F, encoded C2 80 .. C2 9F).
bool is_control(std::string_view text, std::size_t i, std::size_t n) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (n == 1) return c < 0x20 || c == 0x7F;
  return n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
}

void append_hex_byte(std::string& s, unsigned char c) {
  static const char digits[] = "0123456789abcdef";
  s += "\\x";
  s += digits[c >> 4];
  s += digits[c & 0x0F];
}

}  // namespace

std::string escaped(std::string_view text) {
  // Printable ASCII without a backslash, as most names are, stays as it is.
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F && c != '\\'; }))
    return std::string(text);
  std::string s;
  s.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8_sequence(text, i);
    if (n == 0 || is_control(text, i, n)) {
      const std::size_t bytes = (n == 0) ? 1 : n;
      for (std::size_t k = 0; k < bytes; ++k) append_hex_byte(s, static_cast<unsigned char>(text[i + k]));
      i += bytes;
      continue;
    }
    if (text[i] == '\\') s += '\\';
    s.append(text.substr(i, n));
    i += n;
  }
  return s;
}

}  // namespace bperp::stack
