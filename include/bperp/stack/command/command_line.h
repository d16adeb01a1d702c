// The parser of a command line that names options: the options of the
// table it names, then the reference and the secondaries. A line of names
// alone is read without it (build_request).
#pragma once

#include <cstdio>

#include "bperp/stack/command/request.h"

namespace bperp::stack {

// Reads main's arguments into request: the options parsed, each checked
// that what it needs is given and converted as option_table() declares it,
// the names after them as the reference and the secondaries. Returns -1 to
// go on with request, else the exit status to end with at once: 0 after
// --help or --version (printed on out), 1 after a usage problem (on err).
int read_command_line(int argc, const char* const* argv, StackRequest& request, std::FILE* out, std::FILE* err);

}  // namespace bperp::stack
