// Text as the tool's inputs hold it, byte by byte and whatever the process's
// locale: the white space that separates words and numbers (the six
// characters of C's isspace in the "C" locale), trimming, and ASCII case.
// Bytes outside ASCII are never white space and keep their case.
#pragma once

#include <string>
#include <string_view>

namespace bperp {

// True for blank, tab, newline, vertical tab, form feed and carriage return.
constexpr bool is_white_space(int c) {
  // One bit per byte up to the blank: bits 9 to 13 are \t \n \v \f \r.
  constexpr unsigned long long white = (1ULL << ' ') | (0x1FULL << '\t');
  return static_cast<unsigned>(c) <= ' ' && ((white >> c) & 1) != 0;
}

// text without the white space at either end (a view into text; empty
// when text is all white space).
constexpr std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_white_space(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && is_white_space(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

// text with a..z turned into A..Z, every other byte as it was.
std::string upper(std::string_view text);
// text with A..Z turned into a..z, every other byte as it was.
std::string lower(std::string_view text);

}  // namespace bperp
