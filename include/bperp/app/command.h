// The bperp command: file names from the two arguments or, with none, from
// standard input after a prompt; the two baselines printed in the form that
// belongs to the kind of invocation.
#pragma once

#include <cstdio>

namespace bperp {

// Runs the command with main's arguments, reading names from `in` and
// printing on `out` (result, prompt and messages) and `err` (the report of
// an exhausted heap). Returns the exit status: 0 after a printed result,
// 1 on every failure.
int bperp_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                  std::FILE* err);

}  // namespace bperp
