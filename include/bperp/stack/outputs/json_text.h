// JSON text written directly, for the parts of a document too large to be
// built in memory first (the pairs of a big stack): strings and numbers in
// the same form as the rest of the document.
#pragma once

#include <string>
#include <string_view>

namespace bperp::stack {

// text as a JSON string, quotes included: " and \ escaped, control
// characters as \u00XX; other bytes as they are (the names are escaped
// UTF-8 already).
void append_json_string(std::string& out, std::string_view text);

// A finite number in the shortest form that reads back exactly, laid out
// as the JSON library writes doubles (fixed notation for decimal exponents
// from -4 to 15, "55.0" for whole values, else d.ddde+XX); null when it is
// not finite.
void append_json_number(std::string& out, double value);

}  // namespace bperp::stack
