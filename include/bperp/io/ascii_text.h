// The white space that separates words and numbers in the tool's text
// inputs: the six characters of C's isspace in the "C" locale, whatever the
// process's locale.
#pragma once

namespace bperp {

// True for blank, tab, newline, vertical tab, form feed and carriage return.
constexpr bool is_white_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace bperp
