// What a file that matches no input kind looks like, for its refusal: the
// message says what was found and which kinds are read.
#pragma once

#include <string>
#include <string_view>

namespace bperp::stack {

// The kinds of file bperp-stack reads, in one phrase for a message.
extern const char* const kinds_read;

// What head (the first bytes of a file) looks like when it is binary data
// (it holds a NUL byte; its first bytes shown in hex) or text of "key:
// value" lines (its first two non-empty lines each start with a key and a
// colon, the key names listed); "" otherwise: text that the number reader
// judges.
std::string unrecognised_content(std::string_view head);

}  // namespace bperp::stack
