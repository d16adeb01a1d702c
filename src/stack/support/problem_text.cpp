#include "bperp/stack/support/problem_text.h"

#include <cstddef>

namespace bperp::stack {

std::string quoted_excerpt(std::string_view text, char mark) {
  constexpr std::size_t excerpt_bytes = 40;
  constexpr unsigned char first_printable = ' ', last_printable = '~';
  std::string q(1, mark);
  for (std::size_t i = 0; i < text.size() && i < excerpt_bytes; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    q += (c >= first_printable && c <= last_printable) ? text[i] : '?';
  }
  if (text.size() > excerpt_bytes) q += "...";
  q += mark;
  return q;
}

}  // namespace bperp::stack
