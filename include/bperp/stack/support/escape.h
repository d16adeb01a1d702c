// File names as every output of bperp-stack shows them: the table, CSV,
// JSON, the plot and the messages on standard error all carry the same
// escaped text, so that two distinct names never look alike and no name can
// send a control sequence to a terminal.
//
// The escaping: every valid UTF-8 sequence of a printable character stands
// as it is; a backslash becomes two ("\\"); every other byte (the control
// characters U+0000..U+001F, U+007F and U+0080..U+009F, and bytes that are
// not part of a valid UTF-8 sequence) becomes "\x" and two lower-case hex
// digits ("\xff"). The result is printable UTF-8, and distinct names give
// distinct texts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace bperp::stack {

// text escaped as described above.
std::string escaped(std::string_view text);

// The length of the valid UTF-8 sequence of a character starting at
// text[i] (1 for ASCII), or 0 when the bytes there are not one (overlong
// forms, surrogates, beyond U+10FFFF, cut short).
std::size_t utf8_sequence(std::string_view text, std::size_t i);

}  // namespace bperp::stack
