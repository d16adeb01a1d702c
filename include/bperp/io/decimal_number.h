// The numbers of the tool's text inputs and options: finite decimal
// numbers, [+-]digits[.digits][(e|E)[+-]digits] (or .digits), read the same
// whatever the locale. Text, nan, inf, hexadecimal, 1e400 and 7000km are
// no numbers.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace bperp {

// The longest token that can still be a number worth reading, bytes: a
// token of this length or more is no number.
constexpr std::size_t max_number_token_bytes = 128;

// A whole token as a finite decimal number, by the rule above (an
// underflow reads as a zero of its sign); nullopt otherwise.
std::optional<double> decimal_number(std::string_view token);

}  // namespace bperp
