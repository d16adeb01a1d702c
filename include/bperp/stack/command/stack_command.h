// The bperp-stack command: one reference (a state vector, a dated orbit or
// a radar product) against a stack of secondaries of those kinds or orbit
// files; the baselines in a table, CSV or JSON, the pair network, the plot
// and the exports.
#pragma once

#include <cstdio>

namespace bperp::stack {

// Runs the command with main's arguments, reading a --list - from in,
// printing results on out and messages (one line per unusable file) on err. Returns the exit status: 0
// when every secondary was computed (and --help), 1 on any failure: a bad
// option, a refused reference (nothing on out), an unusable secondary (the
// others still printed).
int stack_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                  std::FILE* err);

// For the program's main: SIGINT, SIGTERM and SIGHUP (those not ignored at
// its start) remove the temporary files and folders of the outputs not yet
// committed, then end the process as the signal's default action does
// (status 128 + the signal in a shell).
void end_cleanly_on_signals();

}  // namespace bperp::stack
