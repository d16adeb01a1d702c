#include "bperp/io/ascii_text.h"

namespace bperp {

std::string upper(std::string_view text) {
  std::string u(text);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

std::string lower(std::string_view text) {
  std::string l(text);
  for (char& c : l)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return l;
}

}  // namespace bperp
